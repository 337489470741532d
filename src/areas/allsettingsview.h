// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshoptioncatalog.h"

#include <QVariantMap>
#include <QWidget>

class AllSettingsEditor;
class AllSettingsModel;
class AllSettingsProxyModel;
class QTreeView;

/**
 * "All settings": every keyword the installed OpenSSH knows, with its effective value and
 * where it comes from, searchable and filtered by category or "changed from default", with
 * an editor fitting the selected keyword's kind. Edits wait in changes() for the page's Apply.
 */
class AllSettingsView : public QWidget
{
    Q_OBJECT
public:
    /// With @p block, edits the body of one block (setBlockValues()) rather than the whole configuration.
    explicit AllSettingsView(OptionCatalog::ConfigType type, QWidget *parent = nullptr, bool block = false);

    /// A whole read reply: values, Reply::Origins, Reply::Version and the supported algorithms; drops pending edits.
    void setReadValues(const QVariantMap &reply);
    /// A block's body (keyword → value as written) over the values of @p global, a read reply; drops pending edits.
    void setBlockValues(const QVariantMap &body, const QVariantMap &global);
    /// Keyword → value in the shape a transaction takes; an empty QStringList removes the keyword's lines.
    QVariantMap changes() const;
    /// Back to the read values.
    void discardChanges();

    /// The translated name of a category.
    static QString categoryName(OptionCatalog::Category category);

Q_SIGNALS:
    /// An edit was made or taken back.
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int currentRow() const;

    AllSettingsModel *m_model;
    AllSettingsProxyModel *m_proxy;
    QTreeView *m_view = nullptr;
    AllSettingsEditor *m_editor = nullptr;
};
