// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <KCModule>

namespace KCMOS
{
class MessagesManager;
class StateWidget;

/**
 * Base of our settings pages: a KCModule with a message area above the page
 * and a busy overlay. load() leads to access(), save() to change().
 */
class OrbisKCModule : public KCModule
{
    Q_OBJECT
public:
    OrbisKCModule(const QString &componentName, QWidget *parent, const QString &unused, const QVariantList &args);
    ~OrbisKCModule() override;

    MessagesManager *messagesManager() const;
    StateWidget *stateWidget() const;
    QString componentName() const;

public Q_SLOTS:
    void load() override;
    void save() override;
    void defaults() override;
    virtual bool isValid() const;
    virtual void access();
    virtual void change();
    virtual void chooseModule();
    virtual void unchooseModule();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void placeMessageArea();

    QString m_componentName;
    MessagesManager *m_messages;
    StateWidget *m_state;
};
}
