// The two questions asked before an action that would interrupt a running recording.
#pragma once

#include <QDialog>

namespace kestrune {

class RecWarningDialog : public QDialog {
    Q_OBJECT
public:
    enum class Kind {
        // Before starting or stopping the stream: Yes stops the recording first.
        StopRecording, // "frmRecWarning"
        // Before opening another window: Yes opens it and the recording goes on.
        MayInterrupt, // "frmRecWarning1"
    };

    explicit RecWarningDialog(Kind kind, QWidget *parent = nullptr);

    // Yes was pressed. Closing the dialog without a button, or No, answers No.
    bool confirmed() const { return result() == QDialog::Accepted; }
};

} // namespace kestrune
