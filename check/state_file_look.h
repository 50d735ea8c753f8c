// How lumarest-check looks at a state file without ever standing in a
// running controller's way. The controller opens the files with fopen_s,
// which shares nothing with a writer; a controller writing a mark while
// another program holds the file retries only 10 times over about 200 ms.
// So the tool opens a file only to read its bytes, sharing it with every
// other opener, closes it at once with no wait in between, and learns
// whether this user may write it from the file's security and attributes,
// never from an open for writing.
#pragma once

#include <cstddef>
#include <string>

#include "policy/state_files.h"

struct StateFileSeen {
  std::string path;
  bool exists = false;
  bool read = false;      // its bytes were read and the first token decided
  char mark[2] = {};      // what the controller's read would store from those bytes
  bool empty = false;     // no token at all: the controller's read keeps its earlier mark
  bool writable = false;  // this user may open it for writing (its security and its attributes)
  // FILE_ATTRIBUTE_HIDDEN and FILE_ATTRIBUTE_SYSTEM as the file carries
  // them: Windows refuses the controller's rewrite of such a file, whoever
  // it is, so either makes it not writable.
  unsigned long refusingAttributes = 0;
};

StateFileSeen LookAtStateFile(StateFile file);

// What the controller's `fscanf_s(file, "%s", mark, 2)` on a text-mode
// stream does with the stream's first bytes: white space is skipped, one
// token is read; a token of one character is stored, a longer one does not
// fit and leaves an empty text (the controller then clears the mark too),
// and a stream that ends before any token leaves the mark as it was. In
// text mode Ctrl+Z (0x1A) ends the stream.
enum class MarkScan { kStored, kNoToken, kNeedMore };
MarkScan ScanMark(const char* bytes, std::size_t size, bool atEnd, char (&mark)[2]);
