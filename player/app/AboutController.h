// AboutController: the About window with the application's version, build and mail address. A click anywhere
// in it ends its modal run.
#pragma once

#include <QObject>

#include <memory>

class QDialog;
class QWidget;

namespace Ui {
class AboutWindow;
}

class AboutController : public QObject
{
    Q_OBJECT
public:
    AboutController();
    ~AboutController() override;

    QDialog* window() const { return _window.get(); }
    Ui::AboutWindow& ui() const { return *_ui; }

    void windowDidLoad();
    void mouseDownAction(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QDialog> _window;
    std::unique_ptr<Ui::AboutWindow> _ui;
};
