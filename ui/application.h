#pragma once
// The application object: title, identity of the running program, and its main form.
#include <string>
#include <vector>

namespace ui {

class TForm;
class TApplicationEvents;

struct TApplication {
    std::string Title;
    std::string ExeName;              // full path of the running executable
    std::vector<std::string> Params;  // command-line parameters 1..N
    bool ShowMainForm = true;
    TForm* MainForm = nullptr;
    TApplicationEvents* Events = nullptr;  // receives exceptions escaping event handlers
};

TApplication& Application();
// The program folder: the executable's folder with its trailing separator.
std::string ProgramFolder();

// The product's name, filled into "%s" of captions. The program entry sets it before any
// form exists.
extern std::string ProductName;

}  // namespace ui
