// The one best result: a name and a time, kept in DATA/qbhs.dat as the
// name's bytes, a zero byte and the time as a little-endian float.
#pragma once

#include <string>

extern std::string g_strBestName;
extern float g_fBestTime;

// False (with the defaults "Unknown" and 100000 s) when there is no file, or
// when the file is damaged: it is then logged and kept aside as
// qbhs.dat.damaged (qbhs.dat.damaged2, ... when that exists).
bool LoadHighScore();
// Replaces the file as a whole: a save that fails leaves the previous one.
void SaveHighScore();
// Loads, then shows or hides the main window's best result.
void ShowBestResult();
