#!/usr/bin/env python3
"""Writes the simulation's description of the server's type library from its interface description.

Usage: library_description.py VeskLib.idl OUTPUT.h

The output defines sim::kServerLibrary (a sim::LibraryDescription, library_description.h): what the
IDL states of the library, its co-classes and dual interfaces, in the order the IDL compiler gives the
library's entries. How the platform lays those out (views, vtable offsets, flags) is the simulation's
own business (type_layout.h). What the simulation cannot describe (another kind of type, a parameter
of another type, an attribute it does not know) stops the build here, so that a change to the IDL is
either followed or refused.
"""
import re
import sys

# What each construct may carry; an attribute outside these would change the library unseen.
LIBRARY_ATTRIBUTES = {"uuid", "version", "helpstring"}
INTERFACE_ATTRIBUTES = {"object", "uuid", "dual", "nonextensible", "oleautomation", "helpstring", "pointer_default"}
METHOD_ATTRIBUTES = {"id", "helpstring"}
COCLASS_ATTRIBUTES = {"uuid", "helpstring"}
COCLASS_MEMBER_ATTRIBUTES = {"default"}
RESULT_TYPES = {"HRESULT": "VT_HRESULT"}
PARAMETER_TYPES = {"long": "VT_I4"}

TOKEN = re.compile(r'\s+|"(?:[^"\\]|\\.)*"|[A-Za-z_][A-Za-z0-9_]*|0[xX][0-9A-Fa-f]+|\d+(?:\.\d+)?|[\[\](){};:,*]')


class IdlError(Exception):
    pass


def tokenize(text):
    text = re.sub(r"//[^\n]*|/\*.*?\*/", " ", text, flags=re.S)
    # A uuid is no token of the language's own; it is kept whole as a string.
    text = re.sub(r"\buuid\s*\(\s*([0-9A-Fa-f-]+)\s*\)", r'uuid("\1")', text)
    tokens, position = [], 0
    while position < len(text):
        match = TOKEN.match(text, position)
        if not match:
            raise IdlError("unexpected text: " + text[position:position + 20])
        if not match.group().isspace():
            tokens.append(match.group())
        position = match.end()
    return tokens


class Parser:
    def __init__(self, tokens):
        self.tokens, self.position = tokens, 0

    def peek(self):
        return self.tokens[self.position] if self.position < len(self.tokens) else None

    def take(self, expected=None):
        token = self.peek()
        if token is None or (expected is not None and token != expected):
            raise IdlError("expected %s, found %s" % (expected or "more", token))
        self.position += 1
        return token

    def name(self):
        token = self.take()
        if not re.match(r"[A-Za-z_]", token):
            raise IdlError("expected a name, found " + token)
        return token

    def attributes(self):
        attributes = {}
        if self.peek() != "[":
            return attributes
        self.take("[")
        while True:
            key = self.name()
            value = None
            if self.peek() == "(":
                self.take("(")
                value = self.take()
                self.take(")")
            attributes[key] = value
            if self.take() == "]":
                return attributes

    @staticmethod
    def check(attributes, allowed, construct):
        for key in attributes:
            if key not in allowed:
                raise IdlError("the simulation does not describe the attribute %s of %s" % (key, construct))
        return attributes

    def skip_semicolon(self):
        if self.peek() == ";":
            self.take()

    def interface(self, attributes):
        self.take("interface")
        name = self.name()
        self.check(attributes, INTERFACE_ATTRIBUTES, name)
        self.take(":")
        base = self.name()
        if base != "IDispatch" or "dual" not in attributes:
            raise IdlError("%s: the simulation describes dual interfaces derived from IDispatch only" % name)
        self.take("{")
        methods = []
        while self.peek() != "}":
            methods.append(self.method(name))
        self.take("}")
        self.skip_semicolon()
        return {"name": name, "attributes": attributes, "methods": methods}

    def method(self, interface):
        attributes = self.attributes()
        result = self.name()
        name = self.name()
        self.check(attributes, METHOD_ATTRIBUTES, "%s::%s" % (interface, name))
        if result not in RESULT_TYPES:
            raise IdlError("%s::%s: the simulation describes methods returning HRESULT only" % (interface, name))
        self.take("(")
        parameters = []
        while self.peek() != ")":
            if self.peek() == "[":
                raise IdlError("%s::%s: the simulation describes parameters without attributes only"
                               % (interface, name))
            kind = self.name()
            if kind not in PARAMETER_TYPES:
                raise IdlError("%s::%s: the simulation describes parameters of type long only" % (interface, name))
            parameters.append((self.name(), PARAMETER_TYPES[kind]))
            if self.peek() == ",":
                self.take(",")
        self.take(")")
        self.take(";")
        if "id" not in attributes or len(parameters) != 1:
            raise IdlError("%s::%s: the simulation describes methods with an id and one parameter only"
                           % (interface, name))
        return {"name": name, "attributes": attributes, "result": RESULT_TYPES[result], "parameter": parameters[0]}

    def coclass(self, attributes):
        self.take("coclass")
        name = self.name()
        self.check(attributes, COCLASS_ATTRIBUTES, name)
        self.take("{")
        members = []
        while self.peek() != "}":
            member = self.check(self.attributes(), COCLASS_MEMBER_ATTRIBUTES, name)
            self.take("interface")
            members.append((self.name(), "default" in member))
            self.take(";")
        self.take("}")
        self.skip_semicolon()
        if len(members) != 1 or not members[0][1]:
            raise IdlError("%s: the simulation describes a co-class of one default interface only" % name)
        return {"name": name, "attributes": attributes, "interface": members[0][0]}

    def document(self):
        """The interfaces declared anywhere, and the library's entries in the IDL compiler's order: each
        type in the library block where it stands, an interface declared outside it after the first
        co-class that names it."""
        interfaces, library, entries = {}, None, []

        def enter(kind, name):
            if (kind, name) not in entries:
                entries.append((kind, name))

        while self.peek() is not None:
            if self.peek() == "import":
                self.take()
                self.take()
                self.take(";")
                continue
            attributes = self.attributes()
            if self.peek() == "interface":
                described = self.interface(attributes)
                interfaces[described["name"]] = described
                continue
            if library or self.peek() != "library":
                raise IdlError("the simulation describes interfaces and one library only, not %s" % self.peek())
            self.take("library")
            library = {"name": self.name(), "attributes": attributes, "coclasses": {}}
            self.check(attributes, LIBRARY_ATTRIBUTES, library["name"])
            self.take("{")
            while self.peek() != "}":
                if self.peek() == "importlib":
                    for expected in ("importlib", "(", None, ")", ";"):
                        self.take(expected)
                    continue
                attributes = self.attributes()
                if self.peek() == "coclass":
                    described = self.coclass(attributes)
                    library["coclasses"][described["name"]] = described
                    enter("coclass", described["name"])
                    enter("interface", described["interface"])
                elif self.peek() == "interface":
                    described = self.interface(attributes)
                    interfaces[described["name"]] = described
                    enter("interface", described["name"])
                else:
                    raise IdlError("the simulation describes co-classes and interfaces only, not %s" % self.peek())
            self.take("}")
            self.skip_semicolon()
        if not library:
            raise IdlError("no library")
        for kind, name in entries:
            if kind == "interface" and name not in interfaces:
                raise IdlError("the interface %s is not declared" % name)
        return interfaces, library, entries


def wide(text):
    if text is None:
        return "nullptr"
    def escaped(c):
        if c in '"\\':
            return "\\" + c
        if c.isascii() and c.isprintable():
            return c
        return "\\u%04X" % ord(c) if ord(c) < 0x10000 else "\\U%08X" % ord(c)
    return 'L"' + "".join(escaped(c) for c in text) + '"'


def string_value(value):
    if value is None or not value.startswith('"'):
        raise IdlError("expected a quoted value, found " + str(value))
    return re.sub(r"\\(.)", r"\1", value[1:-1])


def guid(value):
    parts = string_value(value).split("-")
    if [len(p) for p in parts] != [8, 4, 4, 4, 12]:
        raise IdlError("not a uuid: " + value)
    tail = parts[3] + parts[4]
    return "{0x%s, 0x%s, 0x%s, {%s}}" % (parts[0].upper(), parts[1].upper(), parts[2].upper(),
                                         ", ".join("0x" + tail[i:i + 2].upper() for i in range(0, 16, 2)))


def helpstring(attributes):
    return wide(string_value(attributes["helpstring"]) if "helpstring" in attributes else None)


def flag(attributes, name):
    return "true" if name in attributes else "false"


def generate(idl_name, interfaces, library, entries):
    lines = ["// Generated from %s by tests/sim/library_description.py; do not edit." % idl_name, "#pragma once", "",
             '#include "sim/library_description.h"', "", "namespace sim::server_library {", ""]
    for kind, name in entries:
        if kind != "interface":
            continue
        described = interfaces[name]
        methods = []
        for method in described["methods"]:
            parameter, kind = method["parameter"]
            methods.append("    {%s, %d, %s, %s, {%s, %s}}," % (
                wide(method["name"]), int(method["attributes"]["id"], 0), method["result"],
                helpstring(method["attributes"]), wide(parameter), kind))
        lines.append("inline constexpr MethodDescription k%sMethods[] = {" % name)
        lines.extend(methods)
        lines.append("};")
        attributes = described["attributes"]
        lines.append("inline constexpr InterfaceDescription k%s = {" % name)
        lines.append("    %s, %s," % (wide(name), guid(attributes.get("uuid"))))
        lines.append("    %s, %s, %s, %s, k%sMethods, %d};" % (
            helpstring(attributes), flag(attributes, "dual"), flag(attributes, "nonextensible"),
            flag(attributes, "oleautomation"), name, len(described["methods"])))
        lines.append("")
    for kind, name in entries:
        if kind != "coclass":
            continue
        described = library["coclasses"][name]
        attributes = described["attributes"]
        lines.append("inline constexpr CoClassDescription k%s = {" % name)
        lines.append("    %s, %s," % (wide(name), guid(attributes.get("uuid"))))
        lines.append("    %s, %d};" % (helpstring(attributes), entries.index(("interface", described["interface"]))))
    lines.append("inline constexpr LibraryEntry kEntries[] = {")
    for kind, name in entries:
        lines.append("    {true, &k%s, nullptr}," % name if kind == "coclass" else "    {false, nullptr, &k%s}," % name)
    lines += ["};", "", "}  // namespace sim::server_library", "", "namespace sim {", ""]
    attributes = library["attributes"]
    major, _, minor = (attributes.get("version") or "0.0").partition(".")
    lines.append("inline constexpr LibraryDescription kServerLibrary = {")
    lines.append("    %s, %s," % (wide(library["name"]), guid(attributes.get("uuid"))))
    lines.append("    %d, %d, %s, server_library::kEntries, %d};" % (
        int(major), int(minor or 0), helpstring(attributes), len(entries)))
    lines += ["", "}  // namespace sim"]
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source, output = sys.argv[1], sys.argv[2]
    try:
        with open(source, encoding="utf-8") as f:
            text = generate(source.replace("\\", "/").rsplit("/", 1)[-1], *Parser(tokenize(f.read())).document())
    except (IdlError, KeyError) as error:
        sys.exit("%s: %s" % (source, error))
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
