#pragma once
// Round coloured lamps: TSpotIndicator (a framed spot, e.g. the validity of a certificate) and TLamp
// (a plain lamp, e.g. elevated rights). Colours are $00BBGGRR values.

#include <QColor>
#include <QWidget>

class TCustomIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit TCustomIndicator(QWidget* parent = nullptr);
    QColor ColorOff() const { return FColorOff; }
    void SetColorOff(const QColor& c);
    QColor ColorOn() const { return FColorOn; }
    void SetColorOn(const QColor& c);
    bool Indicate() const { return FIndicate; }
    void SetIndicate(bool v);
    // The colour the centre is filled with now.
    virtual QColor CentreColor() const;
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void changeEvent(QEvent* event) override;
    QColor FColorOff{0, 0, 0};
    QColor FColorOn{0xFF, 0xFF, 0xFF};
    bool FIndicate = false;
};

class TSpotIndicator : public TCustomIndicator
{
    Q_OBJECT
public:
    explicit TSpotIndicator(QWidget* parent = nullptr);
    int Border() const { return FBorder; }
    void SetBorder(int v);
    QColor CentreColor() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FBorder = 2;
};

class TLamp : public TCustomIndicator
{
    Q_OBJECT
public:
    explicit TLamp(QWidget* parent = nullptr);
    bool LightOn() const { return FIndicate; }
    void SetLightOn(bool v) { SetIndicate(v); }

protected:
    void paintEvent(QPaintEvent* event) override;
};
