#pragma once

#include <optional>
#include <string>

// The seed an otpauth URI carries: the value of its "secret" pair, exactly as
// written (no upper-casing, no percent-decoding). Nothing when the scheme is
// not exactly "otpauth" or the query has no pair keyed "secret" that the
// strict pair rule keeps (missing, empty, or a secret followed by '=').
std::optional<std::string> OtpauthSecretOf(const std::string& payload);
