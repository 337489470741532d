// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "originnote.h"

#include "abstractoptionarea.h"
#include "conditionalcriteria.h"
#include "sshpaths.h"
#include "sshsettingsprotocol.h"

#include <KLocalizedString>

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QVBoxLayout>

namespace Reply = SSHSettings::Protocol::Reply;

QString OriginText::shownPath(const QString &file)
{
    const QString folder = QFileInfo(SSHPaths::serverConfig()).absolutePath() + QLatin1Char('/');
    return file.startsWith(folder) ? file.mid(folder.size()) : file;
}

QString OriginText::place(const QVariantMap &where, bool fullPath)
{
    const QString file = where.value(Reply::OriginFile).toString();
    return QStringLiteral("%1:%2").arg(fullPath ? file : QFileInfo(file).fileName()).arg(where.value(Reply::OriginLine).toInt());
}

QList<QPair<QString, int>> OriginText::places(const QVariantMap &origin, bool withMainFile)
{
    QList<QPair<QString, int>> found;
    const QString file = origin.value(Reply::OriginFile).toString();
    if (!file.isEmpty() && (withMainFile || !origin.value(Reply::OriginMainFile).toBool())) {
        found.append({file, origin.value(Reply::OriginLine).toInt()});
    }
    const QVariantList overrides = origin.value(Reply::OriginOverrides).toList();
    for (const QVariant &block : overrides) {
        found.append({block.toMap().value(Reply::OriginFile).toString(), block.toMap().value(Reply::OriginLine).toInt()});
    }
    return found;
}

QStringList OriginText::sentences(SSHConfigurationTypeId type, const QVariantMap &origin, bool withMainFile, int firstLink)
{
    const bool links = firstLink >= 0;
    const QList<QPair<QString, int>> where = places(origin, withMainFile);
    const QVariantList overrides = origin.value(Reply::OriginOverrides).toList();
    const int first = where.size() - overrides.size(); // 1 when a line outside the blocks is named
    QStringList said;
    for (int i = 0; i < where.size(); ++i) {
        QString at = i18nc("@info file and line of a configuration", "%1, line %2", shownPath(where.at(i).first), where.at(i).second);
        if (links) {
            at = QStringLiteral("<a href=\"%1\">%2</a>").arg(firstLink + i).arg(at.toHtmlEscaped());
        }
        if (i < first) {
            said.append(i18nc("@info where a value is set, %1 file and line", "Set in %1.", at));
            continue;
        }
        // A server's block is named with its Match word; a client's is said whole, Host or Match.
        QString criteria = overrides.at(i - first).toMap().value(Reply::OriginMatch).toString();
        if (type == Server && criteria.startsWith(QLatin1String("Match "), Qt::CaseInsensitive)) {
            criteria = criteria.mid(6);
        }
        QString who = ConditionalCriteria::inWords(type, criteria);
        if (!who.isEmpty()) {
            who[0] = who.at(0).toLower();
        }
        said.append(i18nc("@info %1 who a block applies to, e.g. users in group sftponly; %2 file and line",
                          "Overridden for %1 (%2).",
                          links ? who.toHtmlEscaped() : who,
                          at));
    }
    return said;
}

OriginNote::OriginNote(AbstractOptionArea *area, QWidget *parent)
    : QLabel(parent)
    , m_area(area)
{
    setObjectName(QStringLiteral("originNote"));
    setWordWrap(true);
    setTextFormat(Qt::RichText);
    // Tab reaches each place; Enter opens it.
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setFont(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
    hide();
    connect(this, &QLabel::linkActivated, this, [this](const QString &link) {
        const auto place = m_places.value(link.toInt());
        if (!place.first.isEmpty()) {
            showLine(place.first, place.second, this);
        }
    });
}

void OriginNote::setOrigins(const QVariantMap &origins)
{
    const SSHOption &option = m_area->option();
    QStringList lines;
    QStringList plain;
    m_places.clear();
    for (const QString &keyword : option.keywords) {
        const QVariantMap origin = origins.value(keyword.toLower()).toMap();
        QStringList linked = OriginText::sentences(option.type, origin, false, m_places.size());
        QStringList said = OriginText::sentences(option.type, origin, false);
        if (option.keywords.size() > 1 && !said.isEmpty()) {
            // One editor for several keywords: which one each note is about.
            const auto named = [&keyword](QStringList &list) {
                for (QString &sentence : list) {
                    sentence = i18nc("@info %1 keyword, %2 where it is set", "%1: %2", keyword, sentence);
                }
            };
            named(linked);
            named(said);
        }
        lines += linked;
        plain += said;
        m_places += OriginText::places(origin, false);
    }
    setText(lines.join(QStringLiteral("<br/>")));
    setVisible(!lines.isEmpty());
    if (QWidget *field = fieldOf(m_area)) {
        field->setAccessibleDescription(QStringList(QStringList{option.description} + plain).join(QLatin1Char(' ')));
    }
}

QWidget *OriginNote::fieldOf(AbstractOptionArea *area)
{
    // The area's own label names its field; labels deeper in (a list's filters) name other parts.
    const auto labels = area->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    for (QLabel *label : labels) {
        if (label->buddy()) {
            return label->buddy();
        }
    }
    const auto parts = area->findChildren<QWidget *>();
    for (QWidget *part : parts) {
        if ((part->focusPolicy() & Qt::TabFocus) && !part->focusProxy()) {
            return part;
        }
    }
    return area;
}

QWidget *OriginNote::showLine(const QString &file, int line, QWidget *parent)
{
    auto *dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(i18nc("@title:window %1 file, %2 line", "%1, Line %2", OriginText::shownPath(file), line));
    auto *layout = new QVBoxLayout(dialog);
    auto *view = new QPlainTextEdit(dialog);
    view->setObjectName(QStringLiteral("originFile"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setTabChangesFocus(true);
    QFile in(file);
    if (in.open(QIODevice::ReadOnly)) {
        view->setPlainText(QString::fromUtf8(in.readAll()));
        // The line stands out as a selection does, in the middle of the view.
        QTextEdit::ExtraSelection marked;
        marked.cursor = QTextCursor(view->document()->findBlockByNumber(line - 1));
        marked.format.setBackground(view->palette().highlight());
        marked.format.setForeground(view->palette().highlightedText());
        marked.format.setProperty(QTextFormat::FullWidthSelection, true);
        view->setExtraSelections({marked});
        view->setTextCursor(marked.cursor);
    } else {
        view->setPlainText(i18n("%1 could not be read: %2", file, in.errorString()));
    }
    layout->addWidget(view);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog->resize(700, 420);
    dialog->show();
    view->centerCursor();
    return dialog;
}
