#pragma once

#include <QLabel>
#include <QUrl>

// A link: underlined blue text, bold while the mouse is over it; a click opens the URL.
class TVrWebLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TVrWebLabel(QWidget *parent = nullptr);

    QString URL() const { return m_url; }
    void setURL(const QString &url) { m_url = url; }
    // What a click opens: a URL with a scheme as it is, anything else as a local
    // file (a relative path from the current folder).
    static QUrl resolveUrl(const QString &url);

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void applyFont(bool hovered);
    QString m_url;
};
