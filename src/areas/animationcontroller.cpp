// SPDX-License-Identifier: GPL-2.0-or-later
#include "animationcontroller.h"

#include <QEasingCurve>
#include <QPropertyAnimation>
#include <QWidget>

AnimationController::AnimationController(QWidget *target, QObject *parent)
    : QObject(parent), m_target(target), m_animation(new QPropertyAnimation(target, "maximumHeight", this))
{
    m_animation->setDuration(200);
    m_animation->setEasingCurve(QEasingCurve(QEasingCurve::InOutQuad));
    m_animation->setStartValue(0);
    m_animation->setEndValue(target->sizeHint().height());
    connect(m_animation, &QPropertyAnimation::finished, this, &AnimationController::animationFinished);
}

AnimationController::~AnimationController()
{
    delete m_animation;
}

void AnimationController::toggleAnimation() const
{
    const int height = m_target->property("maximumHeight").toInt();
    m_animation->setDirection(height <= 1 ? QAbstractAnimation::Forward : QAbstractAnimation::Backward);
    m_animation->start(QAbstractAnimation::KeepWhenStopped);
}

void AnimationController::setAnimationDuration(int milliseconds)
{
    m_animation->setDuration(milliseconds);
}
