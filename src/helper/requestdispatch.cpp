// SPDX-License-Identifier: GPL-2.0-or-later
#include "requestdispatch.h"

#include <QSet>

namespace RequestDispatch
{
namespace
{
using Keys = QSet<QString>;

bool isType(const QVariantMap &arguments, const char *key, int type)
{
    return arguments.value(QLatin1String(key)).userType() == type;
}

Reply wrongType(const char *key, const char *expected)
{
    return Reply::failure(QStringLiteral("argument \"%1\" must be %2").arg(QLatin1String(key), QLatin1String(expected)));
}

bool configType(const QVariantMap &arguments, const char *key, Engine::ConfigType *type)
{
    if (!isType(arguments, key, QMetaType::Int)) {
        return false;
    }
    const int value = arguments.value(QLatin1String(key)).toInt();
    if (value != int(Engine::ConfigType::Server) && value != int(Engine::ConfigType::Client)) {
        return false;
    }
    *type = Engine::ConfigType(value);
    return true;
}

Keys keys(std::initializer_list<const char *> names)
{
    Keys set;
    for (const char *name : names) {
        set.insert(QLatin1String(name));
    }
    return set;
}

QString string(const QVariantMap &arguments, const char *key)
{
    return arguments.value(QLatin1String(key)).toString();
}
}

Reply dispatch(Engine &engine, Action action, const QVariantMap &arguments)
{
    const QStringList keyList = arguments.keys();
    const Keys present(keyList.begin(), keyList.end());
    if (action == Action::Access) {
        if (present == keys({"check_options", "type_id"})) {
            Engine::ConfigType type;
            if (!configType(arguments, "type_id", &type)) {
                return wrongType("type_id", "1 (server) or 2 (client)");
            }
            if (!isType(arguments, "check_options", QMetaType::QStringList)) {
                return wrongType("check_options", "a string list");
            }
            const QStringList keywords = arguments.value(QStringLiteral("check_options")).toStringList();
            if (keywords.isEmpty() || keywords.size() > 64) {
                return Reply::failure(QStringLiteral("check_options must name 1 to 64 keywords"));
            }
            return engine.readOptions(type, keywords);
        }
        if (present == keys({"restore_configure", "restore_local_backup"})) {
            Engine::ConfigType type;
            if (!configType(arguments, "restore_configure", &type)) {
                return wrongType("restore_configure", "1 (server) or 2 (client)");
            }
            if (!isType(arguments, "restore_local_backup", QMetaType::Bool)) {
                return wrongType("restore_local_backup", "a boolean");
            }
            return engine.restore(type, arguments.value(QStringLiteral("restore_local_backup")).toBool());
        }
        if (present == keys({"ssh_server_command"})) {
            if (!isType(arguments, "ssh_server_command", QMetaType::QString)) {
                return wrongType("ssh_server_command", "a string");
            }
            return engine.serviceCommand(string(arguments, "ssh_server_command"));
        }
        if (present == keys({"system_logs_arguments"})) {
            if (!isType(arguments, "system_logs_arguments", QMetaType::QStringList)) {
                return wrongType("system_logs_arguments", "a string list");
            }
            return engine.readJournal(arguments.value(QStringLiteral("system_logs_arguments")).toStringList());
        }
        return Reply::failure(QStringLiteral("unknown or mixed read request"));
    }

    if (present == keys({"option_name", "config_type_id", "new_value"})) {
        Engine::ConfigType type;
        if (!configType(arguments, "config_type_id", &type)) {
            return wrongType("config_type_id", "1 (server) or 2 (client)");
        }
        if (!isType(arguments, "option_name", QMetaType::QString)) {
            return wrongType("option_name", "a string");
        }
        return engine.changeOption(type, string(arguments, "option_name"), arguments.value(QStringLiteral("new_value")));
    }
    if (present == keys({"kill_pid"})) {
        if (!isType(arguments, "kill_pid", QMetaType::Int)) {
            return wrongType("kill_pid", "an integer");
        }
        return engine.killConnection(arguments.value(QStringLiteral("kill_pid")).toInt());
    }
    if (present == keys({"write_banner_path", "write_banner_text"})) {
        if (!isType(arguments, "write_banner_path", QMetaType::QString) || !isType(arguments, "write_banner_text", QMetaType::QString)) {
            return wrongType("write_banner_path/write_banner_text", "strings");
        }
        return engine.writeBanner(string(arguments, "write_banner_path"), string(arguments, "write_banner_text"));
    }
    const bool add = present == keys({"authorized_keys_file", "add_key_line"});
    if (add || present == keys({"authorized_keys_file", "remove_key_line"})) {
        const char *lineKey = add ? "add_key_line" : "remove_key_line";
        if (!isType(arguments, "authorized_keys_file", QMetaType::QString) || !isType(arguments, lineKey, QMetaType::QString)) {
            return wrongType("authorized_keys_file/key line", "strings");
        }
        const QString path = string(arguments, "authorized_keys_file");
        const QString line = string(arguments, lineKey);
        return add ? engine.addAuthorizedKey(path, line) : engine.removeAuthorizedKey(path, line);
    }
    return Reply::failure(QStringLiteral("unknown or mixed change request"));
}
}
