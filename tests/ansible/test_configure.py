#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# The Ansible module's options → the tool's command lines, one row per case.
import importlib.util
import os
import sys
import types
import unittest

MODULE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../ansible/plugins/modules/configure.py")

# The mapping is plain Python: without ansible-core installed, a stand-in for the one import.
if importlib.util.find_spec("ansible") is None:
    for name in ("ansible", "ansible.module_utils", "ansible.module_utils.basic"):
        sys.modules[name] = types.ModuleType(name)
    sys.modules["ansible.module_utils.basic"].AnsibleModule = object

spec = importlib.util.spec_from_file_location("configure", MODULE)
configure = importlib.util.module_from_spec(spec)
spec.loader.exec_module(configure)


def params(**given):
    base = {"settings": None, "client": False, "match": None, "restart": False, "revert_after": None, "confirm": None}
    base.update(given)
    return base


BLOCKS = [{"index": 1, "criteria": "User anoncvs"}, {"index": 2, "criteria": "Address  192.0.2.0/24"}]


class Mapping(unittest.TestCase):
    def test_settings(self):
        rows = [
            # name, params, check mode, commands
            ("one value", params(settings={"MaxAuthTries": 3}), False, [["set", "--json", "--", "MaxAuthTries", "3"]]),
            ("booleans", params(settings={"X11Forwarding": False, "UsePAM": True}), False,
             [["set", "--json", "--", "UsePAM", "yes", "X11Forwarding", "no"]]),
            ("list of values", params(settings={"ListenAddress": ["127.0.0.1:22", "[::1]:22"]}), False,
             [["set", "--json", "--", "ListenAddress", "127.0.0.1:22", "[::1]:22"]]),
            ("null unsets", params(settings={"Banner": None, "Port": 2222}), False,
             [["set", "--json", "--", "Port", "2222"], ["unset", "--json", "--", "Banner"]]),
            ("a value like an option", params(settings={"Ciphers": "-3des-cbc"}), False, [["set", "--json", "--", "Ciphers", "-3des-cbc"]]),
            ("client, check mode, restart, armed", params(settings={"Compression": True}, client=True, restart=True, revert_after=90), True,
             [["set", "--json", "--client", "--dry-run", "--restart", "--revert-after", "90", "--", "Compression", "yes"]]),
            ("nothing", params(settings={}), False, []),
        ]
        for name, given, check, commands in rows:
            with self.subTest(name):
                self.assertEqual(configure.global_commands(given, check), commands)

    def test_blocks(self):
        match = {"criteria": "address 192.0.2.0/24", "settings": {"AllowTcpForwarding": "no", "PermitTTY": None}}
        rows = [
            # name, criteria, index found, commands
            ("found, spacing and case aside", match, 2,
             [["match", "set", "--json", "--", "2", "AllowTcpForwarding", "no"], ["match", "unset", "--json", "--", "2", "PermitTTY"]]),
            ("missing: added first", {"criteria": "Group  sftp", "settings": {}}, None, [["match", "add", "--json", "--", "Group", "sftp"]]),
        ]
        for name, block, index, commands in rows:
            with self.subTest(name):
                self.assertEqual(configure.find_block(BLOCKS, block["criteria"]), index)
                self.assertEqual(configure.block_commands(params(match=block), False, index), commands)


if __name__ == "__main__":
    unittest.main()
