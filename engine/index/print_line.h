#ifndef TARVO_ENGINE_INDEX_PRINT_LINE_H_
#define TARVO_ENGINE_INDEX_PRINT_LINE_H_

#include <iostream>
#include <string>

namespace vexa {

// Writes text and an end of line to standard output and flushes them. The line goes out in one
// piece, so that lines that several searching threads write at once stay whole.
inline void PrintLine(const std::string& text) { std::cout << (text + '\n') << std::flush; }

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_PRINT_LINE_H_
