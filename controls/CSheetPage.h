#pragma once
#include <QWidget>

// A page of CMusicListSheet. Its dialog is initialised (OnInitDialog) the first time the sheet
// shows it, like a property page whose window is created on first activation; OnSetActive
// follows every time the sheet shows it.
class CSheetPage : public QWidget {
    Q_OBJECT
public:
    explicit CSheetPage(QWidget* parent = nullptr) : QWidget(parent) {}

    bool IsInitialised() const { return initialised_; }
    void EnsureInitialised();
    // The sheet makes this the page it shows.
    void Activate();

protected:
    virtual void OnInitDialog() {}
    virtual void OnSetActive() {}

private:
    bool initialised_ = false;
};
