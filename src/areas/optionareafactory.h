// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class AbstractOptionArea;
class QWidget;
class SSHOption;

/// Makes the editor area of one option.
class OptionAreaFactory
{
public:
    virtual ~OptionAreaFactory();
    virtual AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const = 0;
};

class CheckboxOptionArea;
class SpinboxOptionArea;
class TunnelModeArea;
class UserGroupAccessArea;
class BannerArea;
class AuthorizedKeysArea;

class CheckboxOptionAreaFactory : public OptionAreaFactory
{
public:
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;
};

class SpinboxOptionAreaFactory : public OptionAreaFactory
{
public:
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;
};

class TunnelModeOptionAreaFactory : public OptionAreaFactory
{
public:
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;
};

class UserGroupAccessAreaFactory : public OptionAreaFactory
{
public:
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;
};

class BannerOptionAreaFactory : public OptionAreaFactory
{
public:
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;
};

class AuthorizedKeysAreaFactory : public OptionAreaFactory
{
public:
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;
};

class ListenAddressOptionAreaFactory : public OptionAreaFactory
{
public:
    explicit ListenAddressOptionAreaFactory(const QString &port);
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;

private:
    QString m_port;
};

class AddressFamilyAreaFactory : public OptionAreaFactory
{
public:
    explicit AddressFamilyAreaFactory(const QStringList &addresses);
    AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent) const override;

private:
    QStringList m_addresses;
};
