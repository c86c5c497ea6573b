#pragma once
// Numeric input controls: TNumberEdit (a 64-bit integer shown in decimal, hexadecimal, octal or
// binary, optionally as bytes), TRangeEdit (the same with bounds), TFloatEdit (a floating-point
// value) and TNumUpDown (two small arrow buttons that step an associated number edit).
//
// Texts and values convert through the pure functions FormatNumberText / ParseNumberText; typed
// characters are filtered by the radix. A range edit left with a value outside its bounds beeps,
// keeps the focus and shows "Range check error (min .. max)" (no exception leaves the event handler).

#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/NumberUtils.h"
#include "rtl/SysUtils.h"

enum TNumFloatFormat
{
    ffGeneral,
    ffExponent,
    ffFixed,
    ffNumber,
    ffCurrency,
    ffNormalized,
    ffPrefix
};

enum TUDAlignButton
{
    udLeft,
    udRight
};

// The user left a range edit with a value outside its bounds.
class EUserRangeError : public Exception
{
public:
    // "Range check error (min .. max)", the bounds (as 32-bit values) in the radix of mode.
    EUserRangeError(int64_t Min, TNumMode Mode, int64_t Max);
};
std::string RangeErrorText(int64_t Min, TNumMode Mode, int64_t Max);

// The text of a value as a number edit shows it.
std::string FormatNumberText(int64_t Value, TNumMode Mode, int Bits, int Digits, bool Prefix, bool Bytes,
                             int GroupDigits);
// Reads a number edit's text: with Prefix its first character decides the radix, else InputRadix;
// parts separated by "_" are bytes (total := total * 256 + part). A part that cannot be read counts
// as 0 and sets Error. An empty text (or a lone sign) gives 0 and leaves Error as it was.
int64_t ParseNumberText(std::string_view Text, bool Prefix, TNumMode InputRadix, bool& Error);
// The text of a floating-point value as TFloatEdit shows it, without group separators.
std::string FormatFloatNum(TNumFloatFormat FloatFormat, int Digits, int Decimal, double Value);

class TCustomNumEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TCustomNumEdit(QWidget* parent = nullptr);
    virtual void IncrementValue(double Delta);

signals:
    void Changed();

protected:
    // True when a typed character is accepted; the base accepts everything.
    virtual bool AcceptChar(QChar c);
    void keyPressEvent(QKeyEvent* event) override;
};

class TNumberEdit : public TCustomNumEdit
{
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    int64_t Value();
    virtual void SetValue(int64_t v);
    int Bits() const { return FBits; }
    void SetBits(int v);
    int Digits() const { return FDigits; }
    void SetDigits(int v);
    bool Prefix() const { return FPrefix; }
    void SetPrefix(bool v);
    bool Bytes() const { return FBytes; }
    void SetBytes(bool v);
    int GroupDigits() const { return FGroupDigits; }
    void SetGroupDigits(int v);
    TNumMode NumMode() const { return FNumMode; }
    void SetNumMode(TNumMode v);
    // True when the last parse met a text that is not a number.
    bool CheckError() const { return FError; }
    TNumMode InputRadix() const { return FInputRadix; }
    void IncrementValue(double Delta) override;

protected:
    bool AcceptChar(QChar c) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void ShowValue();
    int64_t FValue = 0;

private:
    int FBits = 32;
    int FDigits = 0;
    bool FPrefix = true;
    bool FBytes = false;
    int FGroupDigits = 0;
    TNumMode FNumMode = nmDecimal;
    TNumMode FInputRadix = nmDecimal;
    bool FError = false;
};

class TRangeEdit : public TNumberEdit
{
    Q_OBJECT
public:
    explicit TRangeEdit(QWidget* parent = nullptr);
    void SetValue(int64_t v) override;
    int64_t MinValue() const { return FMinValue; }
    void SetMinValue(int64_t v);
    int64_t MaxValue() const { return FMaxValue; }
    void SetMaxValue(int64_t v);
    bool RangeCheck() const { return FRangeCheck; }
    void SetRangeCheck(bool v) { FRangeCheck = v; }
    // True when v lies within the bounds (or the bounds are equal); RangeError := the negation.
    bool InRange(int64_t v);
    bool RangeError = false;
    // Parses the text and, when it is out of range, beeps, takes the focus and shows the range error;
    // false then. Dialogs call it before they accept.
    bool CheckRange();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    int64_t FMinValue = 0;
    int64_t FMaxValue = 100;
    bool FRangeCheck = true;
    bool FChecking = false;
};

class TFloatEdit : public TCustomNumEdit
{
    Q_OBJECT
public:
    explicit TFloatEdit(QWidget* parent = nullptr);
    // Reads the text; a text that cannot be read raises EConvertError
    // "'%s' is not a valid floating point value".
    double Value();
    // Value() without raising: false (and the old value) for a text that cannot be read.
    bool TryValue(double& v);
    void SetValue(double v);
    int Digits() const { return FDigits; }
    void SetDigits(int v);
    int Decimal() const { return FDecimal; }
    void SetDecimal(int v);
    TNumFloatFormat FloatFormat() const { return FFloatFormat; }
    void SetFloatFormat(TNumFloatFormat v);
    char32_t ThSeparator() const { return FThSeparator; }
    void SetThSeparator(char32_t v);
    double StepMultiplier = 1;
    void IncrementValue(double Delta) override;

protected:
    bool AcceptChar(QChar c) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ShowValue();
    double FValue = 0;
    int FDigits = 10;
    int FDecimal = 2;
    TNumFloatFormat FFloatFormat = ffFixed;
    char32_t FThSeparator = 0;
};

class TNumUpDown : public QWidget
{
    Q_OBJECT
public:
    explicit TNumUpDown(QWidget* parent = nullptr);
    // Only a number edit on the same parent is accepted (anything else leaves no association); an edit
    // that another up-down control steps raises Exception "%s is already associated with %s".
    void SetAssociate(TCustomNumEdit* edit);
    TCustomNumEdit* Associate() const { return FAssociate; }
    TUDAlignButton AlignButton() const { return FAlignButton; }
    void SetAlignButton(TUDAlignButton v);
    int Increment = 1;
    void Click(bool up);
    QSize sizeHint() const override;

signals:
    void UpClick();
    void DownClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool IsUpper(const QPoint& p) const;
    QPointer<TCustomNumEdit> FAssociate;
    TUDAlignButton FAlignButton = udRight;
    int FPressed = 0; // 1 up, -1 down
};
