#pragma once
// The status window of long operations: two text lines, a progress bar and an optional Cancel button.
// It is not modal; the caller shows it with ShowStatus, updates Status, Info and Progress, tests
// Stopped and hides it when done. It lives from program start to program end.

#include <QDialog>
#include <QPoint>
#include <string>

class QLabel;
class QPushButton;
class TNewProgressBar;

class TStatusWindow : public QDialog
{
    Q_OBJECT
public:
    explicit TStatusWindow(QWidget* parent = nullptr);
    // AllowBreak shows Cancel; AInterval >= 1 runs the bar continuously with that interval, < 0 shows a
    // position bar from 0, 0 hides the bar (only on the first call, while the window is not visible).
    void ShowStatus(const QPoint& APos, const std::string& Titel, const std::string& Stat, bool AllowBreak,
                    int AInterval);
    // Path texts, shortened in the middle to the bar's width.
    void SetStatus(const std::string& text);
    void SetInfo(const std::string& text);
    // Clamped to the bar's range.
    void SetProgress(int value);
    bool Stopped = false;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    QString Shorten(const std::string& text) const;
    QLabel* StatusLabel;
    QLabel* ProgLabel;
    TNewProgressBar* ProgressBar;
    QPushButton* btnCancel;
};

// The program's status window (created on first use, lives until the program ends).
TStatusWindow* StatusWindow();
