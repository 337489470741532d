#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# The Ansible module's options → the tool's command lines, one row per case.
import importlib.util
import json
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

module_spec = importlib.util.spec_from_file_location("configure", MODULE)
configure = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(configure)


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

    def test_outcome(self):
        joined = "the change joined changes still pending: confirm keeps them all"
        rows = [
            # name, the tool's documents in turn, changed, file diffs, token, warnings
            ("nothing in force changes", [{"changed": False, "diff": {}}, {"changed": False, "diff": {}}], False, {}, None, []),
            ("one of two changes", [{"changed": False, "diff": {}}, {"changed": True, "diff": {"/c": "-a\n"}}], True, {"/c": "-a\n"}, None, []),
            ("a chain armed by this run", [{"changed": True, "diff": {"/c": "+a\n"}, "token": "t1", "warnings": [joined]},
                                           {"changed": True, "diff": {"/c": "+b\n"}, "token": "t2", "warnings": [joined, "sshd does not answer"]}],
             True, {"/c": "+a\n+b\n"}, "t2", [joined, "sshd does not answer"]),
        ]
        for name, documents, changed, diffs, token, warnings in rows:
            with self.subTest(name):
                module = types.SimpleNamespace(run_command=lambda command, queue=list(documents): (0, json.dumps(queue.pop(0)), ""))
                tool = configure.Tool(module, "/usr/bin/ssh-settings-tool")
                for _ in documents:
                    tool.change(["set", "--json"])
                self.assertEqual(tool.result["changed"], changed)
                self.assertEqual(tool.result["file_diffs"], diffs)
                self.assertEqual(tool.result.get("token"), token)
                self.assertEqual(tool.result["warnings"], warnings)


if __name__ == "__main__":
    unittest.main()
