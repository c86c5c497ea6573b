#pragma once
// Rates a password from -1 to 99 (shown as a percentage by the password meter).

#include <string_view>

int GetPasswordStrength(std::string_view Text);
