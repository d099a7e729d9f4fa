#pragma once

#include <QPushButton>

// A large button with its picture above a caption that wraps onto several lines.
class TPictureButton : public QPushButton
{
    Q_OBJECT
public:
    TPictureButton(const QString &caption, const QIcon &picture, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
