#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes valid interface files whose names are as hostile to the generated
Java as names can be: Java's reserved and contextual words, java.lang
classes, the runtime's classes and package, the fields, parameters and
locals of the generated code, the names vorlith forms itself, and case
variants of each other; with numbers at the edges of their ranges. Each
input goes into a folder of its own, where vorlith is run on it; every run
must succeed without a diagnostic. Compiling the folders is the caller's
part (BatchCompile).

Some names vorlith forms can still meet a name of the input (a constant
named like a procedure's number constant, a type like a version's
interface): those inputs are rejected by design, with a message naming
both; they are counted, and the run fails when they are more than a tenth.
The idiomatic output (--idiomatic) renames what would meet, so there the
run fails on any input rejected.

Usage: hostile_names.py VORLITH WORK_DIR COUNT SEED [OPTION]
OPTION (such as --idiomatic) is given to every run of vorlith.
"""
import os
import random
import subprocess
import sys

XDR_KEYWORDS = set("""const union switch case default struct typedef enum opaque bool void char int
unsigned short long hyper float double string program version TRUE FALSE""".split())

JAVA_WORDS = """abstract assert boolean break byte catch class continue do else extends final
finally for goto if implements import instanceof interface native new package private protected
public return static strictfp super synchronized this throw throws transient try volatile while
true false null _ var record yield sealed permits non module open exports requires when""".split()
JAVA_LANG = """String Object Integer Long Short Boolean Character Byte Float Double Math System
Exception Error Thread Class Override Deprecated Runtime Number Void Enum Record Cloneable
AutoCloseable Iterable Comparable""".split()
RUNTIME = """kelvaro ZELT XDR XDT XDRError XDTint XDTshort XDTchar XDTboolean XDTLong XDTfloat
XDTdouble XDTString XDTbytes XDTvoid ClientGeneric Svc rpc_err InetAddress java net""".split()
GENERATED = """xdrs xdr_op XDR_ENCODE XDR_DECODE value in_arg _in_arg _out_arg _out_arg0 _out_arg1
_out_arg2 proc inXDR host proto prog ver port inetAddress _def_pno _def_vno len e Clone getArray
xdr proc_call getClient call hashCode equals toString getClass wait notify clone finalize close
stop start register unregister enc_int dec_int""".split()
PLAIN = "alpha beta gamma delta item node point list entry data".split()

POOLS = [JAVA_WORDS, JAVA_LANG, RUNTIME, GENERATED, PLAIN]


class Namer:
    """Draws names, hostile ones mostly; a name drawn for the top level is
    unique there (exactly, case counts) and never an XDR keyword."""

    def __init__(self, rnd):
        self.rnd = rnd
        self.taken = set()
        self.made = []  # names given so far, for case variants and formed names

    def draw(self, taken=None, extra=()):
        taken = self.taken if taken is None else taken
        for _ in range(200):
            r = self.rnd.random()
            if r < 0.15 and self.made:
                base = self.rnd.choice(self.made)
                name = self.rnd.choice([base.upper(), base.lower(), base.capitalize(), base + "_",
                                        "_" + base, base + "_proc", "_" + base + "_proc"])
            elif r < 0.25 and extra:
                name = self.rnd.choice(list(extra))
            elif r < 0.9:
                name = self.rnd.choice(self.rnd.choice(POOLS))
            else:
                name = "n%d" % self.rnd.randrange(1000)
            # A "_" that Java needs may make a name another's: X and X_ in
            # one scope are an input error, which valid inputs avoid.
            family = name.rstrip("_") or name
            if not name or name in XDR_KEYWORDS or name in taken or family in taken:
                continue
            if not (name[0].isalpha() or name[0] == "_"):
                continue
            taken.add(name)
            taken.add(family)
            self.made.append(name)
            return name
        raise RuntimeError("no name left")


class Input:
    def __init__(self, rnd):
        self.rnd = rnd
        self.namer = Namer(rnd)
        self.lines = []
        self.int_constants = []   # (name, value) of int constants fit for sizes
        self.enums = {}           # enum name -> list of member names
        self.enum_members = []    # every enum member, with its value
        self.types = []           # (name, kind) of defined types usable by value
        self.files = set()        # Java files the input writes, to keep them apart
        self.formed = set()       # names vorlith forms: avoid them as type names

    def type_name(self):
        for _ in range(50):
            name = self.namer.draw()
            # A name Java takes gets a "_" in the Java text: a type named
            # that way already would then share its file, an input error.
            if name not in self.files and name + "_" not in self.files and name.rstrip("_") not in self.files:
                self.files.add(name)
                return name
        raise RuntimeError("no type name left")

    def size(self):
        if self.int_constants and self.rnd.random() < 0.5:
            return self.rnd.choice(self.int_constants)[0]
        return self.rnd.choice(["1", "2", "3", "0x4", "010", "16"])

    def constants(self):
        for _ in range(self.rnd.randrange(1, 5)):
            name = self.namer.draw()
            kind = self.rnd.random()
            if kind < 0.6:
                value = self.rnd.choice(["1", "2", "7", "0x10", "012", "64"])
                self.int_constants.append((name, value))
            elif kind < 0.8:
                value = self.rnd.choice(["0", "2147483647", "4294967295", "-2147483648", "0x100000000",
                                         "-1", "18446744073709551615", "0xffffffff"])
            elif kind < 0.9 and self.int_constants:
                value = self.rnd.choice(self.int_constants)[0]
                self.int_constants.append((name, value))
            else:
                value = '"%s"' % self.rnd.choice(["text", "a\\tb", "q\\'s", "x\\\\y", ""])
            self.lines.append("const %s = %s;" % (name, value))

    def enum(self):
        name = self.type_name()
        members = []
        body = []
        tops = {}  # the members worth 4294967295
        for i in range(self.rnd.randrange(1, 5)):
            member = self.namer.draw()
            r = self.rnd.random()
            if r < 0.3 or not members:
                value = self.rnd.choice(["", "", "0", "4294967295", "-2147483648", "7", "0x7fffffff"])
            elif r < 0.6:
                value = self.rnd.choice(members)  # an earlier member of this enum
            elif r < 0.8 and self.enum_members:
                value = self.rnd.choice(self.enum_members)
            else:
                value = ""
            # Nothing counts on past the top of the range: that is an error.
            if not value and members and tops.get(members[-1]):
                value = "7"
            tops[member] = value == "4294967295" or (value in members and tops.get(value, False))
            body.append(member + (" = " + value if value else ""))
            members.append(member)
        self.lines.append("enum %s { %s };" % (name, ", ".join(body)))
        self.enums[name] = members
        self.enum_members.extend(members)
        self.types.append((name, "enum"))

    def member_decl(self, taken, allow_void=False):
        """One declaration of a struct or union arm."""
        name = self.namer.draw(taken)
        choices = ["int", "unsigned int", "hyper", "unsigned hyper", "bool", "float", "double", "short",
                   "unsigned char", "string", "opaque"]
        choices += [t for t, _ in self.types] * 2
        t = self.rnd.choice(choices)
        if t == "string":
            return "string %s<%s>" % (name, self.rnd.choice(["", self.size()]))
        if t == "opaque":
            return self.rnd.choice(["opaque %s[%s]", "opaque %s<%s>"]) % (name, self.size())
        shape = self.rnd.random()
        if shape < 0.5:
            return "%s %s" % (t, name)
        if shape < 0.65:
            return "%s %s[%s]" % (t, name, self.size())
        if shape < 0.85:
            return "%s %s<%s>" % (t, name, self.rnd.choice(["", self.size()]))
        return "%s *%s" % (t, name)

    def struct(self):
        name = self.type_name()
        taken = set()
        members = [self.member_decl(taken) for _ in range(self.rnd.randrange(1, 6))]
        if self.rnd.random() < 0.3:
            members.append("%s *%s" % (name, self.namer.draw(taken)))
        self.lines.append("struct %s { %s; };" % (name, "; ".join(members)))
        self.types.append((name, "struct"))

    def union(self):
        name = self.type_name()
        taken = set()
        enums = list(self.enums)
        kind = self.rnd.choice(["int", "unsigned int", "bool", "hyper"] + (["enum"] * 2 if enums else []))
        disc_name = self.namer.draw(taken)
        if kind == "enum":
            enum = self.rnd.choice(enums)
            disc_type = enum
            if self.rnd.random() < 0.3:
                # the discriminant through a typedef of the enum
                disc_type = self.type_name()
                self.lines.append("typedef %s %s;" % (enum, disc_type))
                self.types.append((disc_type, "typedef"))
            disc = "%s %s" % (disc_type, disc_name)
            labels = list(dict.fromkeys(self.enums[enum]))
            # members naming each other may share a value: one of each name
            # whose value may repeat would be a duplicate label, so only the
            # first member is sure to be distinct from nothing; use one label
            # per arm from a single member each.
            labels = labels[:1]
        elif kind == "bool":
            disc = "bool %s" % disc_name
            labels = ["TRUE", "FALSE"]
        else:
            disc = "%s %s" % (kind, disc_name)
            labels = ["0", "1", "2", "0x10"]
        arms = []
        chosen = labels[: self.rnd.randrange(1, len(labels) + 1)]
        while chosen:
            # Now and then an arm of two labels.
            take = 2 if len(chosen) > 1 and self.rnd.random() < 0.3 else 1
            arm = "void" if self.rnd.random() < 0.2 else self.member_decl(taken)
            arms.append(" ".join("case %s:" % label for label in chosen[:take]) + " %s;" % arm)
            chosen = chosen[take:]
        if self.rnd.random() < 0.5:
            arms.append("default: %s;" % ("void" if self.rnd.random() < 0.3 else self.member_decl(taken)))
        self.lines.append("union %s switch (%s) { %s };" % (name, disc, " ".join(arms)))
        self.types.append((name, "union"))

    def typedef(self):
        name = self.type_name()
        decl = self.member_decl(set())
        # the declaration's own name becomes the typedef's
        parts = decl.replace("*", "* ").split()
        for i, p in enumerate(parts):
            pass
        t, rest = decl.rsplit(" ", 1)
        old = rest.lstrip("*")
        shape = ""
        for mark in ("[", "<"):
            if mark in old:
                shape = old[old.index(mark):]
        star = "*" if rest.startswith("*") else ""
        self.lines.append("typedef %s %s%s%s;" % (t, star, name, shape))
        self.types.append((name, "typedef"))

    def program(self):
        name = self.namer.draw()
        versions = []
        numbers = self.rnd.sample(["1", "2", "3", "0x4"], self.rnd.randrange(1, 3))
        if "1" not in numbers:
            numbers[0] = "1"
        bases = []
        for number in numbers:
            base = name if number == "1" else "%s_%s" % (name.lower(), number)
            bases.append(base)
        # The files the program writes must not be a type's.
        for base in bases:
            for f in (base, base + "_cln", base + "_svcb"):
                if f in self.files or f + "_" in self.files or f.rstrip("_") in self.files:
                    return False
        for number in numbers:
            vname = self.namer.draw()
            procs = []
            pnumbers = self.rnd.sample(["0", "1", "2", "3", "7", "4294967295"], self.rnd.randrange(1, 4))
            taken_methods = set()
            for pn in pnumbers:
                pname = self.namer.draw()
                # procedure names that end in one Java name are an input
                # error; keep them apart here
                key = pname.rstrip("_")
                if key in taken_methods:
                    continue
                taken_methods.add(key)
                types = ["void", "int", "string", "hyper", "bool", "double"] + [t for t, _ in self.types]
                procs.append("%s %s(%s) = %s;" % (self.rnd.choice(types), pname, self.rnd.choice(types), pn))
            versions.append("version %s { %s } = %s;" % (vname, " ".join(procs), number))
        self.lines.append("program %s { %s } = 0x2%07x;" % (name, " ".join(versions), self.rnd.randrange(1 << 20)))
        return True

    def text(self):
        self.constants()
        for _ in range(self.rnd.randrange(2, 7)):
            self.rnd.choice([self.enum, self.struct, self.struct, self.union, self.typedef])()
        for _ in range(5):
            if self.program():
                break
        if self.rnd.random() < 0.5:
            self.constants()
        return "\n".join(self.lines) + "\n"


def main():
    vorlith, work, count, seed = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    options = sys.argv[5:]
    rnd = random.Random(seed)
    failed = 0
    rejected = 0
    for i in range(count):
        folder = os.path.join(work, "in%04d" % i)
        os.makedirs(folder)
        text = Input(rnd).text()
        with open(os.path.join(folder, "in.x"), "w") as f:
            f.write(text)
        # One input in five turns the naming case around (-i).
        args = [vorlith, "-i", "in.x"] if rnd.random() < 0.2 else [vorlith, "in.x"]
        args[1:1] = options
        run = subprocess.run(args, cwd=folder, capture_output=True, text=True)
        diagnostics = run.stderr.splitlines()[2:]
        last = diagnostics[-1] if diagnostics else ""
        if run.returncode == 1 and ("are both" in last or "would be written by both" in last):
            rejected += 1
            os.rename(folder, folder + ".rejected")
            continue
        if run.returncode != 0 or diagnostics:
            print("== %s: vorlith status %d" % (folder, run.returncode))
            print(text)
            print("\n".join(diagnostics))
            failed += 1
        print(folder)
    if rejected and "--idiomatic" in options:
        print("%d of %d inputs rejected for names that meet: the idiomatic output should have renamed them"
              % (rejected, count))
        failed += 1
    elif rejected * 10 > count:
        print("%d of %d inputs rejected for names that meet: too many for the test to mean much" % (rejected, count))
        failed += 1
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
