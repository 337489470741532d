// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

/// The configuration files, their backups and the distribution default.
namespace SSHPaths
{
QString serverConfig();
QString clientConfig();
QString serverBackup();
QString clientBackup();
QString serverDistributionDefault();
/// Where the helper keeps the files a restore replaced, in a folder per restore named after its time.
QString keptFilesFolder();

/// The file the page reads itself for @p path: @p path, or the same under the demonstration's folder (setDemoRoot()).
QString onDisk(const QString &path);
/// The preview lays its demonstration files under @p root as a system has them under /, and shows them by their
/// system paths; production never calls this.
void setDemoRoot(const QString &root);

/// Tests put the files under a temporary root; production never calls this.
void setRootForTesting(const QString &root);
}
