// Puts the process's language state back as a test found it.
#pragma once

#include "framework/application_name.h"
#include "product/languages.h"

#include <string>

class LanguageStateGuard {
public:
    LanguageStateGuard()
        : index_(CurrentLanguage()), allowedMask_(GetLanguageState().allowedMask), appName_(AfxGetAppName())
    {
    }
    ~LanguageStateGuard()
    {
        SetLanguage(index_);
        GetLanguageState().allowedMask = allowedMask_;
        AfxSetAppName(appName_);
        SetLanguageChangeHandler(nullptr);
    }
    LanguageStateGuard(const LanguageStateGuard&) = delete;
    LanguageStateGuard& operator=(const LanguageStateGuard&) = delete;

private:
    LanguageIndex index_;
    std::uint32_t allowedMask_;
    std::wstring appName_;
};
