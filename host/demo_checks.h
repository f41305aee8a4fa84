// Questions tools/demo.sh asks the demo's Wine through minihost.exe, answered one line each on
// standard output, in UTF-8:
//   minihost.exe --key-names CODE...  "<code>\t<name>" per key code, the name as Tessel's settings
//                                     list writes it ("1611\tCtrl + Alt + K")
//   minihost.exe --unsaved-text       "<program> \"<title>\"" per window of another program whose
//                                     text is changed and not saved (a Notepad typed into)
#pragma once

#include <string>
#include <vector>

// Whether the arguments ask one of the questions; it is then answered, and *status is the
// program's exit code.
bool AnswerDemoCheck(const std::vector<std::wstring>& arguments, int* status);
