#pragma once
// The state holds UTF-8; Windows' controls take UTF-16.
#include <string>

std::wstring Widen(const std::string& Utf8);
std::string Narrow(const std::wstring& Utf16);
