// A text that works as a link: coloured, underlined while the mouse is over it, and opened with the desktop's
// default application (browser, mail program) when clicked.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <QUrl>

#include <functional>

class NSHiperLink : public QLabel
{
    Q_OBJECT
public:
    explicit NSHiperLink(QWidget* parent = nullptr);

    // The address to open; empty means the text itself is the address.
    QString linkURL() const { return _strURL; }
    void setLinkURL(const QString& url) { _strURL = url; }
    QColor hilitedColor() const { return _clrHilited; }
    void setHilitedColor(const QColor& color);
    QColor normalColor() const { return _clrNormal; }
    // Also the text's colour at once.
    void setNormalColor(const QColor& color);
    bool isMouseOver() const { return _mouseOver; }
    QColor textColor() const;
    // The address a click opens.
    QString addressToOpen() const;
    // Opens an address; the desktop's default application unless replaced (tests open nothing).
    std::function<bool(const QUrl&)> openUrl;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setTextColor(const QColor& color);

    QString _strURL;
    QColor _clrHilited;
    QColor _clrNormal;
    bool _mouseOver = false;
};
