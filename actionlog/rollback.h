// Backups of what an installation replaces, and the rollback of ActionLog::records
// (ActionLog::Rollback).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// Told the name of a backup after it is reserved and before anything is saved under it, so
// that the journal names it before the file moves.
using BackupNamed = std::function<void(const std::wstring& name)>;

// Moves (copy false) or copies (copy true) the existing file source to a new file "kv*.TMP"
// in the user's temporary folder, with source's attributes, and returns its path. Without
// source it only reserves such a name (no file exists under it). Empty when nothing could be
// saved, in which case source stays where it was and GetLastError tells why.
std::wstring MakeBackup(const std::optional<std::wstring>& source, bool copy, const BackupNamed& named = {});

// Saves the open key with all its values and subkeys into a new registry hive file in the
// user's temporary folder and returns its path, or empty.
std::wstring SaveKeyBackup(HKEY key, const BackupNamed& named = {});
