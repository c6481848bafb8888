// EnvironmentNumber: a whole number that an environment variable sets (the
// test hooks and bounds that the tool and the daemon read at run time).
//
// EnvironmentWholeNumber(name, most, value) stores in `*value` the decimal
// whole number that the variable `name` holds and answers true, when the
// variable is set and holds nothing but such a number, from 0 to `most`;
// otherwise (unset, empty, a sign, other characters, too large) it answers
// false and leaves `*value` as it was. Read on each call.
//
// Threads: any (getenv; nothing here sets the environment).
#pragma once

bool EnvironmentWholeNumber(const char* name, unsigned long long most, unsigned long long* value);
