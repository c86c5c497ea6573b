#include "foundation/gui/WinUtils.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>
#include <QWidget>
#include <cmath>
#include <limits>

#include "foundation/StringUtils.h"
#include "foundation/gui/GuiUtils.h"

namespace {
QPointer<QWidget> GMainForm;

int DistanceToRect(const QRect& r, const QPoint& p)
{
    int dx = 0, dy = 0;
    if (p.x() < r.left())
        dx = r.left() - p.x();
    else if (p.x() > r.right())
        dx = p.x() - r.right();
    if (p.y() < r.top())
        dy = r.top() - p.y();
    else if (p.y() > r.bottom())
        dy = p.y() - r.bottom();
    return dx + dy;
}

QPoint ToScreen(const QWidget* control, const QPoint& local)
{
    if (!control)
        return local;
    if (!control->parentWidget())
        return control->pos() + local;
    return control->mapToGlobal(local);
}

// The form's size as it will be shown.
QSize FormSize(QWidget* form)
{
    if (form->testAttribute(Qt::WA_Resized) || form->isVisible())
        return form->frameGeometry().size();
    form->ensurePolished();
    if (form->layout())
        form->layout()->activate();
    QSize s = form->sizeHint().expandedTo(form->minimumSize());
    if (s.isEmpty())
        s = form->size();
    return s;
}
} // namespace

void SetMainForm(QWidget* form)
{
    GMainForm = form;
}

QWidget* MainForm()
{
    return GMainForm.data();
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const double v = static_cast<double>(a) * b / c;
    return static_cast<int>(std::lround(v));
}

QScreen* ScreenAtPoint(const QPoint& p)
{
    QScreen* best = QGuiApplication::primaryScreen();
    int bestDist = std::numeric_limits<int>::max();
    for (QScreen* s : QGuiApplication::screens()) {
        const int d = DistanceToRect(s->geometry(), p);
        if (d < bestDist) {
            bestDist = d;
            best = s;
        }
    }
    return best;
}

int ScaleToMonitorDpi(int n, const QScreen* screen)
{
    if (!screen)
        return n;
    return MulDiv(n, static_cast<int>(std::lround(screen->logicalDotsPerInch())), 96);
}

int ScaleToFormDpi(int n, const QWidget* form)
{
    const QScreen* s = form ? form->screen() : QGuiApplication::primaryScreen();
    return ScaleToMonitorDpi(n, s);
}

QPoint ScalePointToFormDpi(const QPoint& p, const QWidget* form)
{
    return {ScaleToFormDpi(p.x(), form), ScaleToFormDpi(p.y(), form)};
}

QPoint ScaleXYToFormDpi(int x, int y, const QWidget* form)
{
    return {ScaleToFormDpi(x, form), ScaleToFormDpi(y, form)};
}

void AdjustToWorkArea(int& left, int& top, int height, int width)
{
    QScreen* screen = ScreenAtPoint({left, top});
    if (!screen)
        return;
    const QRect w = screen->availableGeometry();
    const int right = w.x() + w.width();
    const int bottom = w.y() + w.height();
    if (left + width > right)
        left = right - width - ScaleToMonitorDpi(20, screen);
    if (left < w.left())
        left = w.left() + ScaleToMonitorDpi(20, screen);
    if (top + height > bottom)
        top = bottom - height - ScaleToMonitorDpi(30, screen);
    if (top < w.top())
        top = w.top() + ScaleToMonitorDpi(20, screen);
}

void FitFormToWorkArea(QWidget* form)
{
    if (!form)
        return;
    int left = form->x(), top = form->y();
    const QSize s = FormSize(form);
    AdjustToWorkArea(left, top, s.height(), s.width());
    form->move(left, top);
}

void PlaceFormAt(QWidget* form, const QPoint& point, bool above)
{
    if (!form)
        return;
    const QSize s = FormSize(form);
    if (point.x() < 0 || point.y() < 0) {
        QRect area;
        if (QWidget* main = MainForm(); main && main != form && main->isVisible())
            area = main->frameGeometry();
        else if (QScreen* screen = QGuiApplication::primaryScreen())
            area = screen->availableGeometry();
        else
            return;
        form->move(area.x() + (area.width() - s.width()) / 2, area.y() + (area.height() - s.height()) / 2);
        return;
    }
    int left = point.x();
    int top = point.y();
    if (above)
        top -= s.height();
    AdjustToWorkArea(left, top, s.height(), s.width());
    form->move(left, top);
}

void SetClientSizeToControl(QWidget* form, const QWidget* control, int margin)
{
    if (!form || !control)
        return;
    const QRect g = control->geometry();
    form->resize(g.x() + g.width() + margin, g.y() + g.height() + margin);
}

void SetClientWidthToControl(QWidget* form, const QWidget* control, int margin)
{
    if (!form || !control)
        return;
    const QRect g = control->geometry();
    form->resize(g.x() + g.width() + margin, form->height());
}

QPoint GetMousePos()
{
    return QCursor::pos();
}

QPoint GetMousePosOfs(const QPoint& offset)
{
    return QCursor::pos() + offset;
}

QPoint GetTopLeftPos(const QWidget* control)
{
    return ToScreen(control, {0, 0});
}

QPoint GetTopLeftPosOfs(const QWidget* control, const QPoint& offset)
{
    return GetTopLeftPos(control) + offset;
}

QPoint GetBottomLeftPos(const QWidget* control)
{
    return ToScreen(control, {0, control ? control->height() : 0});
}

QPoint GetBottomLeftPosOfs(const QWidget* control, const QPoint& offset)
{
    return GetBottomLeftPos(control) + offset;
}

QPoint GetBottomLeftPosXY(const QWidget* control, int x, int y)
{
    return GetBottomLeftPos(control) + QPoint(x, y);
}

QPoint GetTopRightPos(const QWidget* control)
{
    return ToScreen(control, {control ? control->width() : 0, 0});
}

QPoint GetTopRightPosOfs(const QWidget* control, const QPoint& offset)
{
    return GetTopRightPos(control) + offset;
}

QPoint GetTopRightPosXY(const QWidget* control, int x, int y)
{
    return GetTopRightPos(control) + QPoint(x, y);
}

QPoint GetBottomRightPos(const QWidget* control)
{
    return ToScreen(control, {control ? control->width() : 0, control ? control->height() : 0});
}

QPoint GetBottomRightPosOfs(const QWidget* control, const QPoint& offset)
{
    return GetBottomRightPos(control) + offset;
}

int CountLines(std::string_view text)
{
    int n = 1;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            ++n;
    return n;
}

namespace {
QStringList SplitLines(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.split(QLatin1Char('\n'));
}
} // namespace

int GetTextWidthInFont(const QString& text, const QFont& font)
{
    return QFontMetrics(font).horizontalAdvance(text);
}

int GetMaxLineWidthInFont(const QString& text, const QFont& font)
{
    return GetMaxStringsWidth(SplitLines(text), font);
}

int GetMaxStringsWidth(const QStringList& strings, const QFont& font)
{
    const QFontMetrics fm(font);
    int w = 0;
    for (const QString& s : strings)
        w = std::max(w, fm.horizontalAdvance(s));
    return w;
}

QSize GetMultiLineTextSize(const QString& text, const QFont& font)
{
    const QStringList lines = SplitLines(text);
    return {GetMaxStringsWidth(lines, font), QFontMetrics(font).height() * static_cast<int>(lines.size())};
}

QString FitTextToWidth(const QString& text, const QFont& font, int maxWidth)
{
    const QFontMetrics fm(font);
    const QString dots = QStringLiteral("...");
    const auto cps = text.toUcs4();
    if (cps.size() <= 3)
        return text;
    auto prefix = [&](qsizetype n) {
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(cps.constData()), n);
    };
    if (fm.horizontalAdvance(prefix(3) + dots) >= maxWidth)
        return prefix(3) + dots;
    if (fm.horizontalAdvance(text) <= maxWidth)
        return text;
    qsizetype n = cps.size();
    while (n > 3 && fm.horizontalAdvance(prefix(n) + dots) > maxWidth)
        --n;
    return prefix(n) + dots;
}

int GetFilterIndex(std::string_view filter, std::string_view text)
{
    const QStringList parts = QStr(filter).split(QLatin1Char('|'));
    const QString t = QStr(text);
    const int pairs = static_cast<int>((parts.size() + 1) / 2);
    for (int i = 0; i < pairs; ++i) {
        const qsizetype maskIndex = 2 * i + 1;
        if (maskIndex < parts.size() && parts[maskIndex].contains(t, Qt::CaseInsensitive))
            return i + 1;
    }
    return pairs;
}

void SetStaticTabStops(QWidget* control, bool value)
{
    if (!control)
        return;
    const Qt::FocusPolicy policy = value ? Qt::TabFocus : Qt::NoFocus;
    for (QLabel* l : control->findChildren<QLabel*>())
        l->setFocusPolicy(policy);
    for (QLineEdit* e : control->findChildren<QLineEdit*>())
        if (e->isReadOnly())
            e->setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
}

QLabel* NewConfirmImage(QWidget* form, QStyle::StandardPixmap kind)
{
    auto* image = new QLabel(form);
    image->setObjectName(QStringLiteral("imgConfirm"));
    const int icon = ScaleToFormDpi(32, form);
    image->setPixmap(form->style()->standardIcon(kind).pixmap(icon, icon));
    image->setAlignment(Qt::AlignTop);
    return image;
}
