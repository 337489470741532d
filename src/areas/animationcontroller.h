// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

class QPropertyAnimation;
class QWidget;

/// Slides a panel open and closed by animating its maximum height.
class AnimationController : public QObject
{
    Q_OBJECT
public:
    AnimationController(QWidget *target, QObject *parent);
    ~AnimationController() override;

    void toggleAnimation() const;
    void setAnimationDuration(int milliseconds);

Q_SIGNALS:
    void animationFinished();

private:
    QWidget *m_target;
    QPropertyAnimation *m_animation;
};
