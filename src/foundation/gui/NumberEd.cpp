#include "foundation/gui/NumberEd.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>

#include "foundation/StringUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/DateTime.h"

namespace {
const char* RadixPrefix(TNumMode mode)
{
    switch (mode) {
    case nmHex:
        return "$";
    case nmOctal:
        return "%";
    case nmBin:
        return "!";
    default:
        return "";
    }
}

int DigitCount(TNumMode mode, int bits, int digits)
{
    if (mode == nmDecimal || digits != 0)
        return digits;
    const double b = std::min(bits, 63);
    switch (mode) {
    case nmHex:
        return static_cast<int>(std::ceil(b / 4));
    case nmOctal:
        return static_cast<int>(std::ceil(b / 3));
    case nmBin:
        return static_cast<int>(b);
    default:
        return static_cast<int>(std::ceil(b / std::log2(10.0)));
    }
}

std::string RadixValue(int64_t value, TNumMode mode, int digits, int group)
{
    switch (mode) {
    case nmHex:
        return IntToHexGrouped(value, digits, group);
    case nmOctal:
        return IntToOct(value, digits, group);
    case nmBin:
        return IntToBin(value, digits, group);
    case nmZeroDec:
        return IntToDecGrouped(digits, group, true, value);
    default:
        return IntToDecGrouped(digits, group, false, value);
    }
}

int ByteWidth(TNumMode mode)
{
    switch (mode) {
    case nmHex:
        return 2;
    case nmBin:
        return 8;
    default:
        return 3;
    }
}

TNumMode RadixOfChar(char32_t c)
{
    switch (c) {
    case '$':
        return nmHex;
    case '%':
        return nmOctal;
    case '!':
        return nmBin;
    default:
        return nmDecimal;
    }
}

bool InRadixSet(TNumMode radix, char32_t c)
{
    switch (radix) {
    case nmHex:
        return c == '$' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    case nmOctal:
        return c == '%' || (c >= '0' && c <= '7');
    case nmBin:
        return c == '!' || c == '0' || c == '1';
    default:
        return c == ' ' || c == '+' || c == '-' || (c >= '0' && c <= '9');
    }
}

char DecSep()
{
    return FormatSettings().DecimalSeparator;
}
} // namespace

std::string RangeErrorText(int64_t Min, TNumMode Mode, int64_t Max)
{
    const int32_t lo = static_cast<int32_t>(Min);
    const int32_t hi = static_cast<int32_t>(Max);
    std::string range;
    switch (Mode) {
    case nmHex:
        range = "$" + IntToHexGrouped(lo, 1, 0) + " .. $" + IntToHexGrouped(hi, 1, 0);
        break;
    case nmOctal:
        range = "%" + IntToOct(lo, 1, 0) + " .. %" + IntToOct(hi, 1, 0);
        break;
    case nmBin:
        range = "!" + IntToBin(lo, 1, 0) + " .. !" + IntToBin(hi, 1, 0);
        break;
    default:
        range = std::to_string(lo) + " .. " + std::to_string(hi);
        break;
    }
    return _("Range check error") + " (" + range + ")";
}

EUserRangeError::EUserRangeError(int64_t Min, TNumMode Mode, int64_t Max)
    : Exception(RangeErrorText(Min, Mode, Max))
{
}

std::string FormatNumberText(int64_t Value, TNumMode Mode, int Bits, int Digits, bool Prefix, bool Bytes,
                             int GroupDigits)
{
    if (Bits == 0)
        Bits = 32;
    const std::string prefix = Prefix ? RadixPrefix(Mode) : "";
    if (!Bytes)
        return prefix + RadixValue(Value, Mode, DigitCount(Mode, Bits, Digits), GroupDigits);
    const int count = (Bits + 7) / 8;
    std::string text;
    for (int i = count - 1; i >= 0; --i) {
        const int64_t byte =
            i < 8 ? static_cast<int64_t>((static_cast<uint64_t>(Value) >> (8 * i)) & 0xFF) : 0;
        if (!text.empty())
            text += "_";
        text += prefix + RadixValue(byte, Mode == nmDecimal ? nmZeroDec : Mode, ByteWidth(Mode), GroupDigits);
    }
    return text;
}

int64_t ParseNumberText(std::string_view Text, bool Prefix, TNumMode InputRadix, bool& Error)
{
    const std::string t(utf8::Trim(Text));
    if (t.empty() || t == "+" || t == "-")
        return 0;
    TNumMode radix = Prefix ? RadixOfChar(static_cast<unsigned char>(t[0])) : InputRadix;
    if (radix == nmZeroDec)
        radix = nmDecimal;
    Error = false;
    uint64_t total = 0;
    size_t start = 0;
    while (start <= t.size()) {
        size_t end = t.find('_', start);
        if (end == std::string::npos)
            end = t.size();
        const std::string part = t.substr(start, end - start);
        int64_t v = 0;
        bool ok;
        switch (radix) {
        case nmHex:
            ok = TryHexToInt64(part, v);
            break;
        case nmOctal:
            ok = TryOctToInt64(part, v);
            break;
        case nmBin:
            ok = TryBinToInt64(part, v);
            break;
        default: {
            const std::string digits = RemoveBlanks(part);
            char* stop = nullptr;
            errno = 0;
            const long long n = digits.empty() ? 0 : std::strtoll(digits.c_str(), &stop, 10);
            ok = !digits.empty() && stop && *stop == 0 && errno == 0 &&
                 n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max();
            v = ok ? n : 0;
            break;
        }
        }
        if (!ok) {
            QApplication::beep();
            Error = true;
            v = 0;
        }
        total = total * 256 + static_cast<uint64_t>(v);
        start = end + 1;
    }
    return static_cast<int64_t>(total);
}

std::string FormatFloatNum(TNumFloatFormat FloatFormat, int Digits, int Decimal, double Value)
{
    const char sep = DecSep();
    std::string text;
    switch (FloatFormat) {
    case ffNormalized:
        FormatNormalized(Digits, sep, text, Value);
        return text;
    case ffPrefix:
        FormatWithSiPrefix(Digits, " ", sep, text, Value);
        return text;
    default:
        break;
    }
    char buf[512];
    const int precision = std::clamp(Digits, 1, 18);
    const int decimals = std::clamp(Decimal, 0, 18);
    switch (FloatFormat) {
    case ffExponent:
        std::snprintf(buf, sizeof buf, "%.*E", precision - 1, Value);
        break;
    case ffGeneral:
        std::snprintf(buf, sizeof buf, "%.*G", precision, Value);
        break;
    default:
        // Fixed, number and currency: the decimals, or the exponent form beyond the precision.
        if (Value != 0 && std::fabs(Value) >= std::pow(10.0, precision))
            std::snprintf(buf, sizeof buf, "%.*E", precision - 1, Value);
        else
            std::snprintf(buf, sizeof buf, "%.*f", decimals, Value);
        break;
    }
    text = buf;
    for (char& c : text)
        if (c == '.')
            c = sep;
    return text;
}

// ---- TCustomNumEdit

TCustomNumEdit::TCustomNumEdit(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] { emit Changed(); });
}

void TCustomNumEdit::IncrementValue(double) {}

bool TCustomNumEdit::AcceptChar(QChar)
{
    return true;
}

void TCustomNumEdit::keyPressEvent(QKeyEvent* event)
{
    const QString t = event->text();
    if (!t.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        for (QChar c : t) {
            if (c.unicode() > 0x20 && !AcceptChar(c)) {
                QApplication::beep();
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

// ---- TNumberEdit

TNumberEdit::TNumberEdit(QWidget* parent) : TCustomNumEdit(parent)
{
    ShowValue();
}

void TNumberEdit::ShowValue()
{
    setText(QStr(FormatNumberText(FValue, FNumMode, FBits, FDigits, FPrefix, FBytes, FGroupDigits)));
    setCursorPosition(static_cast<int>(text().size()));
}

int64_t TNumberEdit::Value()
{
    FValue = ParseNumberText(StdStr(text()), FPrefix, FInputRadix, FError);
    return FValue;
}

void TNumberEdit::SetValue(int64_t v)
{
    const bool changed = v != FValue;
    FValue = v;
    ShowValue();
    setModified(changed || isModified());
}

void TNumberEdit::SetBits(int v)
{
    FBits = v == 0 ? 32 : v;
    ShowValue();
}

void TNumberEdit::SetDigits(int v)
{
    FDigits = v;
    ShowValue();
}

void TNumberEdit::SetPrefix(bool v)
{
    FPrefix = v;
    ShowValue();
}

void TNumberEdit::SetBytes(bool v)
{
    FBytes = v;
    ShowValue();
}

void TNumberEdit::SetGroupDigits(int v)
{
    FGroupDigits = v;
    ShowValue();
}

void TNumberEdit::SetNumMode(TNumMode v)
{
    FNumMode = v;
    FInputRadix = v == nmZeroDec ? nmDecimal : v;
    ShowValue();
}

void TNumberEdit::IncrementValue(double Delta)
{
    SetValue(Value() + static_cast<int64_t>(Delta));
}

bool TNumberEdit::AcceptChar(QChar c)
{
    if (FPrefix) {
        const QString t = text().trimmed();
        const bool replaced = t.isEmpty() || (hasSelectedText() && selectedText().size() == text().size());
        FInputRadix = RadixOfChar(replaced ? c.unicode() : t.at(0).unicode());
    } else
        FInputRadix = FNumMode == nmZeroDec ? nmDecimal : FNumMode;
    return InRadixSet(FInputRadix, c.unicode());
}

void TNumberEdit::keyReleaseEvent(QKeyEvent* event)
{
    TCustomNumEdit::keyReleaseEvent(event);
    GuardSlot([this] { Value(); });
}

void TNumberEdit::focusOutEvent(QFocusEvent* event)
{
    TCustomNumEdit::focusOutEvent(event);
    GuardSlot([this] {
        Value();
        ShowValue();
    });
}

// ---- TRangeEdit

TRangeEdit::TRangeEdit(QWidget* parent) : TNumberEdit(parent) {}

void TRangeEdit::SetValue(int64_t v)
{
    if (FMinValue != FMaxValue)
        v = std::clamp(v, FMinValue, FMaxValue);
    TNumberEdit::SetValue(v);
}

void TRangeEdit::SetMinValue(int64_t v)
{
    FMinValue = v;
    SetValue(FValue);
}

void TRangeEdit::SetMaxValue(int64_t v)
{
    FMaxValue = v;
    SetValue(FValue);
}

bool TRangeEdit::InRange(int64_t v)
{
    const bool ok = FMinValue == FMaxValue || (FMinValue <= v && v <= FMaxValue);
    RangeError = !ok;
    return ok;
}

bool TRangeEdit::CheckRange()
{
    const int64_t v = Value();
    if (FRangeCheck && !InRange(v)) {
        if (FChecking)
            return false;
        FChecking = true;
        QApplication::beep();
        setFocus();
        ErrorDialog(RangeErrorText(FMinValue, NumMode(), FMaxValue));
        setFocus();
        FChecking = false;
        return false;
    }
    SetValue(v);
    return true;
}

void TRangeEdit::focusOutEvent(QFocusEvent* event)
{
    TCustomNumEdit::focusOutEvent(event);
    if (FChecking)
        return;
    GuardSlot([this] { CheckRange(); });
}

// ---- TFloatEdit

TFloatEdit::TFloatEdit(QWidget* parent) : TCustomNumEdit(parent)
{
    ShowValue();
}

void TFloatEdit::ShowValue()
{
    std::string t = FormatFloatNum(FFloatFormat, FDigits, FDecimal, FValue);
    if (FThSeparator != 0)
        t = InsertDigitSeparators(t, FThSeparator, false);
    setText(QStr(t));
}

bool TFloatEdit::TryValue(double& v)
{
    const std::string raw = StdStr(text());
    if (raw.empty() || raw == " " || raw == "+" || raw == "-") {
        v = FValue;
        return true;
    }
    if (FFloatFormat == ffPrefix) {
        double d;
        if (!TryStrToSiValue(raw, d, DecSep())) {
            v = FValue;
            return false;
        }
        v = FValue = d;
        return true;
    }
    std::string t;
    for (char c : raw) {
        if (c == ' ' ||
            (FThSeparator != 0 && static_cast<char32_t>(static_cast<unsigned char>(c)) == FThSeparator))
            continue;
        t += c == DecSep() ? '.' : c;
    }
    char* stop = nullptr;
    const double d = std::strtod(t.c_str(), &stop);
    if (t.empty() || !stop || *stop != 0 || !std::isfinite(d)) {
        v = FValue;
        return false;
    }
    v = FValue = d;
    return true;
}

double TFloatEdit::Value()
{
    double v;
    if (!TryValue(v))
        throw EConvertError(SafeFormat(_("'%s' is not a valid floating point value"), {StdStr(text())}));
    return v;
}

void TFloatEdit::SetValue(double v)
{
    const bool changed = v != FValue;
    FValue = v;
    ShowValue();
    setModified(changed || isModified());
}

void TFloatEdit::SetDigits(int v)
{
    FDigits = v;
    ShowValue();
}

void TFloatEdit::SetDecimal(int v)
{
    FDecimal = v;
    ShowValue();
}

void TFloatEdit::SetFloatFormat(TNumFloatFormat v)
{
    FFloatFormat = v;
    ShowValue();
}

void TFloatEdit::SetThSeparator(char32_t v)
{
    FThSeparator = v;
    ShowValue();
}

void TFloatEdit::IncrementValue(double Delta)
{
    double v;
    TryValue(v);
    SetValue(v + Delta * StepMultiplier);
}

bool TFloatEdit::AcceptChar(QChar c)
{
    const char16_t u = c.unicode();
    if (FFloatFormat == ffPrefix)
        return true;
    return u == '+' || u == '-' || (u >= '0' && u <= '9') || u == 'E' || u == 'e' ||
           u == static_cast<unsigned char>(DecSep()) || (FThSeparator != 0 && u == FThSeparator);
}

void TFloatEdit::keyReleaseEvent(QKeyEvent* event)
{
    TCustomNumEdit::keyReleaseEvent(event);
    double v;
    TryValue(v); // a half-typed number keeps the last value
}

void TFloatEdit::focusOutEvent(QFocusEvent* event)
{
    TCustomNumEdit::focusOutEvent(event);
    GuardSlot([this] {
        double v;
        if (TryValue(v))
            ShowValue();
        else
            ErrorDialog(SafeFormat(_("'%s' is not a valid floating point value"), {StdStr(text())}));
    });
}

// ---- TNumUpDown

TNumUpDown::TNumUpDown(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedWidth(16);
}

QSize TNumUpDown::sizeHint() const
{
    return {16, FAssociate ? FAssociate->sizeHint().height() : 22};
}

void TNumUpDown::SetAssociate(TCustomNumEdit* edit)
{
    if (edit && edit->parentWidget()) {
        for (TNumUpDown* other :
             edit->parentWidget()->findChildren<TNumUpDown*>(Qt::FindDirectChildrenOnly)) {
            if (other != this && other->Associate() == edit)
                throw Exception(SafeFormat(_("%s is already associated with %s"),
                                           {StdStr(edit->objectName()), StdStr(other->objectName())}));
        }
    }
    if (!edit || edit->parentWidget() != parentWidget()) {
        FAssociate = nullptr;
        return;
    }
    FAssociate = edit;
    SetAlignButton(FAlignButton);
}

void TNumUpDown::SetAlignButton(TUDAlignButton v)
{
    FAlignButton = v;
    if (!FAssociate)
        return;
    const QRect g = FAssociate->geometry();
    setFixedHeight(g.height());
    move(v == udRight ? g.x() + g.width() : g.x() - 16, g.y());
    update();
}

void TNumUpDown::Click(bool up)
{
    GuardSlot([&] {
        if (FAssociate)
            FAssociate->IncrementValue(up ? Increment : -Increment);
        if (up)
            emit UpClick();
        else
            emit DownClick();
    });
}

bool TNumUpDown::IsUpper(const QPoint& p) const
{
    return p.y() <= height() / 2;
}

void TNumUpDown::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int h = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), h), QRect(0, h, width(), height() - h)};
    for (int i = 0; i < 2; ++i) {
        QStyleOption opt;
        opt.initFrom(this);
        opt.rect = halves[i];
        const bool pressed = FPressed == (i == 0 ? 1 : -1);
        opt.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &opt, &p, this);
        p.setPen(palette().color(isEnabled() ? QPalette::Mid : QPalette::Midlight));
        p.drawRect(halves[i].adjusted(0, 0, -1, -1));
        opt.rect = halves[i].adjusted(3, 2, -3, -2);
        style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, &opt, &p,
                               this);
    }
}

void TNumUpDown::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled()) {
        FPressed = IsUpper(event->position().toPoint()) ? 1 : -1;
        update();
    }
}

void TNumUpDown::mouseReleaseEvent(QMouseEvent* event)
{
    const int pressed = FPressed;
    FPressed = 0;
    update();
    if (event->button() != Qt::LeftButton || pressed == 0)
        return;
    const QPoint p = event->position().toPoint();
    if (!rect().contains(p))
        return;
    if ((pressed == 1) == IsUpper(p))
        Click(pressed == 1);
}

void TNumUpDown::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Plus)
        Click(true);
    else if (event->key() == Qt::Key_Minus)
        Click(false);
    else
        QWidget::keyPressEvent(event);
}
