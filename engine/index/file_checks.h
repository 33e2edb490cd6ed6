#ifndef TARVO_ENGINE_INDEX_FILE_CHECKS_H_
#define TARVO_ENGINE_INDEX_FILE_CHECKS_H_

// True when the file at path exists and its first line can be read; a missing, unreadable or
// empty file prints the stream's failure and gives false.
bool IsFileReadable(const char* path);

// True when a file can be written at path; otherwise prints the stream's failure and gives
// false. An existing file is left exactly as it was, and no file is left behind where none was.
bool IsFileWritable(const char* path);

#endif  // TARVO_ENGINE_INDEX_FILE_CHECKS_H_
