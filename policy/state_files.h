// The two one-byte state files in the install folder: what the last handled
// event found (lasttimeACDC.txt: "1" mains, "2" battery) and whether the rate
// last seen on battery was the DC rate (lasttimeDCRefresh.txt: "1" yes, "2" no).
#pragma once

#include <windows.h>

enum class StateFile { kAcdc, kDcRefresh };

// The marks, one character each; the same two characters mean different
// things in the two files.
// lasttimeACDC.txt: what the last handled event found.
inline constexpr char kMarkMains[] = "1";
inline constexpr char kMarkBattery[] = "2";
// lasttimeDCRefresh.txt: whether the rate last seen on battery was the DC rate.
inline constexpr char kMarkAtDcRate[] = "1";
inline constexpr char kMarkOffDcRate[] = "2";

// The file's fixed path (8-bit, absolute).
const char* StateFilePath(StateFile file);

// At start-up: when neither file exists, creates both, lasttimeACDC.txt with
// "2" and lasttimeDCRefresh.txt with "1" when the current rate is known and
// equals dcRate, else "2".
void CreateStateFiles(bool rateKnown, DWORD currentRate);

// Writes one mark into one file with the bounded retry; `pauseMs` is the
// wait between the successful open and the write.
void WriteStateMark(StateFile file, const char* mark, DWORD pauseMs);

// On a power-status change to mains: "1" into both files.
void WriteAcMarks();

// Whether the file exists, as the start-up's creation asks it (the
// diagnostic asks the same way).
bool StateFileExists(StateFile file);

// Reads both files' first tokens into acdcMark and dcRefreshMark; true when
// both files were opened and read.
bool ReadStateMarks();
