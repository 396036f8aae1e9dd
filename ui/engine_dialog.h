#pragma once
// The updater dialog's window: its components and their layout. The engine form derives
// from it and gives the buttons and events their behaviour.
#include "ui/components.h"

namespace ui {

class TEngineDialog : public TForm {
public:
    TEngineDialog();

    TPanel JobTitlePanel{this, this, "JobTitlePanel"};
    TLabel JobLabel{this, &JobTitlePanel, "JobLabel"};
    TPanel ProgressPanel{this, this, "ProgressPanel"};
    TLabel Label1{this, &ProgressPanel, "Label1"};
    TProgressBar ProgressBar{this, &ProgressPanel, "ProgressBar"};
    TPanel ExternalAppPanel{this, this, "ExternalAppPanel"};
    TPanel ActionPanel{this, this, "ActionPanel"};
    TPanel Panel1{this, &ActionPanel, "Panel1"};
    TLabel Label2{this, &Panel1, "Label2"};
    TRichMemo ProgressMemo{this, &ActionPanel, "ProgressMemo"};
    TPanel BottomPanel{this, this, "BottomPanel"};
    TPanel ButtonPanel{this, &BottomPanel, "ButtonPanel"};
    TButton StopBitBtn{this, &ButtonPanel, "StopBitBtn"};
    TButton ProceedBitBtn{this, &ButtonPanel, "ProceedBitBtn"};
    TButton CloseBtn{this, &ButtonPanel, "CloseBtn"};
    TApplicationEvents ApplicationEvents1{this, "ApplicationEvents1"};
};

}  // namespace ui
