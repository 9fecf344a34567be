#pragma once
#include <QWidget>

// A page of CMusicListSheet. Its dialog is initialised (OnInitDialog) the first time the sheet
// shows it, like a property page whose window is created on first activation.
class CSheetPage : public QWidget {
    Q_OBJECT
public:
    explicit CSheetPage(QWidget* parent = nullptr) : QWidget(parent) {}

    bool IsInitialised() const { return initialised_; }
    void EnsureInitialised();

protected:
    virtual void OnInitDialog() {}

private:
    bool initialised_ = false;
};
