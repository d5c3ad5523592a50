#include "ui/languages.h"

namespace {

constexpr LCID kLanguageLocales[20] = {
    1036, 1033, 1031, 3082, 2070, 1043, 1030, 1055, 1026, 1048,
    2052, 1040, 1029, 1044, 1032, 1045, 1037, 1066, 1041, 1038,
};

} // namespace

LanguageState& GetLanguageState()
{
    static LanguageState state;
    return state;
}

LCID LanguageLcid(LanguageIndex index)
{
    if (index < 1 || index > 19)
        return 1036;
    return kLanguageLocales[index];
}
