// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "sshtypes.h"

#include "sshoptioncatalog.h"

#include <QList>
#include <QStringList>
#include <QVariantMap>

/// The tab an option is shown in.
enum class PageTab {
    General,
    Authentication,
    Other,
    Client,
    AllSettings, ///< every keyword of the configuration, in one view of its own
};

/// The editor of an option: the one of its kind, or one of the page's own for a keyword of choices.
enum class PageEditor {
    OfKind,
    TunnelMode,
    AddressFamily,
};

/**
 * What one editor of the page shows: a keyword of the keyword table (or the access lists, which one
 * editor shows together), the page's texts for it and the values read. A plain value: each editor
 * keeps its own copy.
 *
 * The kind, the built-in value and the range come from the keyword table; the page adds only which
 * tab shows the keyword and its texts (sshoption.cpp). Adding a keyword to a tab is one row there.
 */
struct SSHOption {
    SSHConfigurationTypeId type = Undefined;
    QStringList keywords; ///< as in the keyword table; one, but for the access lists
    PageTab tab = PageTab::General;
    PageEditor editor = PageEditor::OfKind;
    QString displayName;
    QString description;
    QString unit; ///< after a number, e.g. " s"
    QString zeroText; ///< shown for a number 0 that turns something off
    QVariantMap values; ///< keyword → value in the page's type for its kind

    QString keyword() const
    {
        return keywords.value(0);
    }
    QVariant value() const
    {
        return values.value(keyword());
    }
    /// The keyword table's row of keyword().
    const OptionCatalog::Option &row() const;

    /// A copy with the values of a read reply (lower-case keyword → value); a keyword it lacks keeps its value.
    SSHOption withValues(const QVariantMap &reply) const;
    /// A copy whose keyword() has @p value, given as a read reply gives it.
    SSHOption withValue(const QVariant &value) const;

    /// Every option of the page, in the order of their tabs, with the built-in values.
    static QList<SSHOption> pageOptions();
    /// The page's option that shows @p keyword; an empty one when the page shows no such keyword.
    static SSHOption pageOption(SSHConfigurationTypeId type, const QString &keyword);
    /// The keywords the page shows of @p type, in the order of its options.
    static QStringList pageKeywords(SSHConfigurationTypeId type);
    /// @p value, as a read reply gives it (words, lists, or what an editor wrote), in the page's type for @p kind.
    static QVariant pageValue(OptionCatalog::ValueKind kind, const QVariant &value);
};
