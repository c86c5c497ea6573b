#pragma once
// Window helpers of every form: keeping windows inside the work area of their screen, placing a
// dialog at a point or centred on the main window, screen anchors of controls, text measuring and
// shortening, pixel constants scaled to the screen's DPI, and tab stops for read-only texts.
//
// Qt scales whole windows for high DPI by itself, so glyphs, images and image lists need no scaling
// of our own; pixel constants are given for 96 DPI and scaled with the screen's logical DPI.

#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStyle>
#include <string>
#include <string_view>

class QLabel;
class QScreen;
class QWidget;

// The point that asks for a form centred on the main window.
inline const QPoint DefaultFormPos{-1, -1};

// The main window that dialogs without a position are centred on (nullptr: the screen).
void SetMainForm(QWidget* form);
QWidget* MainForm();

// The screen nearest to a point.
QScreen* ScreenAtPoint(const QPoint& p);

// Moves a rectangle into the work area of the screen nearest to (left, top), with margins of 20 px
// (30 at the bottom) at 96 DPI.
void AdjustToWorkArea(int& left, int& top, int height, int width);
void FitFormToWorkArea(QWidget* form);
// A negative coordinate centres the form on the main window; otherwise its top-left corner goes to
// point (above: its bottom-left corner) and the form is moved into the work area.
void PlaceFormAt(QWidget* form, const QPoint& point, bool above = false);
void SetClientSizeToControl(QWidget* form, const QWidget* control, int margin);
void SetClientWidthToControl(QWidget* form, const QWidget* control, int margin);

// Screen anchors of a control for pop-up menus and dialogs.
QPoint GetMousePos();
QPoint GetMousePosOfs(const QPoint& offset);
QPoint GetTopLeftPos(const QWidget* control);
QPoint GetTopLeftPosOfs(const QWidget* control, const QPoint& offset);
QPoint GetBottomLeftPos(const QWidget* control);
QPoint GetBottomLeftPosOfs(const QWidget* control, const QPoint& offset);
QPoint GetBottomLeftPosXY(const QWidget* control, int x, int y);
QPoint GetTopRightPos(const QWidget* control);
QPoint GetTopRightPosOfs(const QWidget* control, const QPoint& offset);
QPoint GetTopRightPosXY(const QWidget* control, int x, int y);
QPoint GetBottomRightPos(const QWidget* control);
QPoint GetBottomRightPosOfs(const QWidget* control, const QPoint& offset);

// Texts. Lines are separated by CR LF (a lone LF counts as well).
int CountLines(std::string_view text);
int GetTextWidthInFont(const QString& text, const QFont& font);
int GetMaxLineWidthInFont(const QString& text, const QFont& font);
int GetMaxStringsWidth(const QStringList& strings, const QFont& font);
// Width of the widest line; height = the line height of the font times the number of lines.
QSize GetMultiLineTextSize(const QString& text, const QFont& font);
// The text shortened with "..." to fit maxWidth pixels (texts of three characters or fewer stay).
QString FitTextToWidth(const QString& text, const QFont& font, int maxWidth);
// The 1-based index of the name|mask pair of a file-dialog filter whose mask contains text
// (case-insensitive); the number of pairs when none does.
int GetFilterIndex(std::string_view filter, std::string_view text);

// MulDiv(n, dpi, 96) with the logical DPI of the screen a widget is on.
int ScaleToFormDpi(int n, const QWidget* form);
// The 32-pixel (at 96 dpi) picture of a question or warning, top-aligned, named imgConfirm.
QLabel* NewConfirmImage(QWidget* form, QStyle::StandardPixmap kind);
int ScaleToMonitorDpi(int n, const QScreen* screen);
QPoint ScalePointToFormDpi(const QPoint& p, const QWidget* form);
QPoint ScaleXYToFormDpi(int x, int y, const QWidget* form);
// The integer nearest to a * b / c (0 for c = 0), as the platform's MulDiv.
int MulDiv(int a, int b, int c);

// Labels and read-only edits inside control take the Tab key's focus when value is set.
void SetStaticTabStops(QWidget* control, bool value);
