// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "bannerarea.h"
#include "ui_BannerArea.h"

#include "areaicons.h"

#include "editbannerdialog.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStyle>

namespace
{
const QString &noneValue()
{
    static const QString value = QStringLiteral("none");
    return value;
}
}

BannerArea::BannerArea(const SSHOption &option, QWidget *parent)
    : AbstractOptionArea(option, parent)
    , ui(std::make_unique<Ui::BannerArea>())
{
    ui->setupUi(this);
    AreaIcons::setEditIcon(ui->editButton);
}

BannerArea::~BannerArea() = default;

QWidget *BannerArea::inflate()
{
    ui->nameLabel->setText(m_option.displayName);
    setToolTip(m_option.description);
    ui->choosePathButton->setToolTip(i18n("Choose a banner file."));
    ui->choosePathButton->setAccessibleName(i18n("Choose a banner file"));
    ui->choosePathButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    connect(ui->choosePathButton, &QToolButton::clicked, this, &BannerArea::selectBannerFile);
    connect(ui->pathToBannerLineEdit, &QLineEdit::textChanged, this, &BannerArea::updatePathAndButtonState);
    connect(ui->editButton, &QToolButton::clicked, this, &BannerArea::showEditBannerDialog);
    refreshPathDisplay();
    return this;
}

void BannerArea::refreshPathDisplay() const
{
    const QString stored = m_option.value().toString();
    if (stored == noneValue()) {
        ui->pathToBannerLineEdit->clear();
    } else {
        ui->pathToBannerLineEdit->setText(stored);
    }
    ui->editButton->setEnabled(stored != noneValue());
}

void BannerArea::updatePathAndButtonState(const QString &path)
{
    ui->pathToBannerLineEdit->setToolTip(path);
    ui->editButton->setEnabled(!path.isEmpty());
    const QString stored = m_option.value().toString();
    setHasChanged(stored == noneValue() && path.isEmpty() ? false : path != stored);
    Q_EMIT modify();
}

void BannerArea::selectBannerFile()
{
    // Banners are plain text under any name (/etc/issue.net has no extension): every file is offered.
    const QString path = QFileDialog::getOpenFileName(this, i18nc("@title:window", "Choose a Banner File"), QStringLiteral("/etc"));
    if (!path.isEmpty()) {
        ui->pathToBannerLineEdit->setText(path);
    }
}

void BannerArea::showEditBannerDialog()
{
    EditBannerDialog dialog(ui->pathToBannerLineEdit->text(), this);
    dialog.exec();
}

QVariant BannerArea::value() const
{
    const QString path = ui->pathToBannerLineEdit->text();
    return path.isEmpty() ? noneValue() : path;
}

void BannerArea::reset() const
{
    refreshPathDisplay();
}

bool BannerArea::validate() const
{
    return validationError().isEmpty();
}

QString BannerArea::validationError() const
{
    // An empty path means no banner ("none").
    const QString path = ui->pathToBannerLineEdit->text();
    if (path.isEmpty() || QFileInfo(path).isFile()) {
        return {};
    }
    return i18n("The banner file %1 does not exist; clear the path for no banner.", path);
}
