// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The Qt 5 / Qt 6 difference of QProcess: where code runs in the child between fork and exec.

#include <QProcess>

#include <functional>
#include <utility>

namespace Compat
{
/// A process that runs @p setup in the child after fork, before exec.
class ChildSetupProcess : public QProcess
{
public:
    explicit ChildSetupProcess(std::function<void()> setup)
#if QT_VERSION_MAJOR >= 6
    {
        setChildProcessModifier(std::move(setup));
    }
#else
        : m_setup(std::move(setup))
    {
    }

protected:
    void setupChildProcess() override
    {
        m_setup();
    }

private:
    std::function<void()> m_setup;
#endif
};
}
