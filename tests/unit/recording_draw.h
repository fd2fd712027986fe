// Drawing primitives that write down each call as one line of text, so tests
// can compare what the command walk asked for with what it should have.
#pragma once

#include <string>
#include <vector>

extern std::vector<std::string> recorded_calls;
