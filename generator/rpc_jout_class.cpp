// SPDX-License-Identifier: Apache-2.0
// The data-type writers of the idiomatic output.
#include "rpc_jout_class.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "rpc_jout_doc.h"
#include "rpc_jout_names.h"
#include "rpc_jout_types.h"
#include "rpc_number.h"
#include "rpc_util.h"

namespace {

constexpr std::string_view xdr_class = "kelvaro.ZELT.XDR";
constexpr std::string_view xdr_error = "kelvaro.ZELT.XDRError";

// One component of a record: a member of a struct, or the discriminant and
// the member of a union's arm.
struct Component {
  std::string name;   // the Java name
  std::string label;  // "type.member", as the input names them, for errors
  IdiomType type;
  std::string_view comment;  // the member's doc comment
};

// The member's doc comment, then its type; or its type alone.
std::string param_tag(const Component &c) {
  const std::string doc = doc_text(c.comment);
  if (doc.empty()) return format_text("@param %s %s", {c.name, type_note(c.type)});
  return format_text("@param %s %s (%s)", {c.name, doc, type_note(c.type)});
}

std::string param_tags(const std::vector<Component> &components) {
  std::string tags;
  for (const Component &c : components) {
    if (!tags.empty()) tags.push_back('\n');
    tags += param_tag(c);
  }
  return tags;
}

std::string record_header(std::string_view name, const std::vector<Component> &components,
                          std::string_view implements) {
  std::string text = format_text("record %s(", {name});
  for (std::size_t i = 0; i < components.size(); i++) {
    if (i > 0) text += ", ";
    text += format_text("%s %s", {java_type_text(components[i].type), components[i].name});
  }
  text += ")";
  if (!implements.empty()) text += format_text(" implements %s", {implements});
  text += " {\n";
  return text;
}

// The compact constructor with the checks of the components, and extra
// checks (of a discriminant) after them; nothing when there is nothing to
// check.
void emit_compact_constructor(JavaOutput &out, std::string_view indent, std::string_view name,
                              const std::vector<Component> &components, std::string_view extra_checks,
                              std::string_view extra_throws) {
  std::string checks;
  const std::string inner = format_text("%s    ", {indent});
  for (const Component &c : components) checks += check_text(c.type, c.name, c.label, inner);
  checks += extra_checks;
  if (checks.empty()) return;
  std::string tags = param_tags(components);
  tags += "\n@throws java.lang.NullPointerException when a member that is not optional is null";
  tags += "\n@throws java.lang.IllegalArgumentException when a member is not of its declared size";
  if (!extra_throws.empty()) tags += format_text("\n%s", {extra_throws});
  emit(out, javadoc(indent, "Checks the members: arrays are kept as they are, lists as unmodifiable copies.", {},
                    tags));
  emit_format(out, "%spublic %s {\n%s%s}\n", {indent, name, checks, indent});
}

// equals, hashCode and toString by content; `shown` is the name toString
// starts with.
void emit_value_methods(JavaOutput &out, std::string_view indent, std::string_view name, std::string_view shown,
                        const std::vector<Component> &components) {
  const std::string in1 = format_text("%s    ", {indent});
  const std::string in2 = format_text("%s        ", {indent});
  emit(out, javadoc(indent, "Compares by content: members equal, arrays and lists element by element.", {},
                    "@param o the object to compare with\n@return true when o is an equal value"));
  emit_format(out, "%s@java.lang.Override\n%spublic boolean equals(java.lang.Object o) {\n", {indent, indent});
  emit_format(out, "%sif (this == o) {\n%sreturn true;\n%s}\n", {in1, in2, in1});
  emit_format(out, "%sif (!(o instanceof %s)) {\n%sreturn false;\n%s}\n", {in1, name, in2, in1});
  if (components.empty()) {
    emit_format(out, "%sreturn true;\n", {in1});
  } else {
    emit_format(out, "%s%s other = (%s) o;\n%sreturn ", {in1, name, name, in1});
    for (std::size_t i = 0; i < components.size(); i++) {
      if (i > 0) emit_format(out, "\n%s        && ", {in1});
      const std::string a = format_text("this.%s", {components[i].name});
      const std::string b = format_text("other.%s", {components[i].name});
      emit(out, equals_text(components[i].type, a, b));
    }
    emit(out, ";\n");
  }
  emit_format(out, "%s}\n\n", {indent});

  emit(out, javadoc(indent, "A hash of the content, consistent with {@link #equals}.", {}, "@return the hash"));
  emit_format(out, "%s@java.lang.Override\n%spublic int hashCode() {\n%sint h = 1;\n", {indent, indent, in1});
  for (const Component &c : components)
    emit_format(out, "%sh = 31 * h + %s;\n", {in1, hash_text(c.type, format_text("this.%s", {c.name}))});
  emit_format(out, "%sreturn h;\n%s}\n\n", {in1, indent});

  emit(out, javadoc(indent, "The members as text; long opaque data is shortened.", {}, "@return the text"));
  emit_format(out, "%s@java.lang.Override\n%spublic java.lang.String toString() {\n", {indent, indent});
  emit_format(out, "%sreturn \"%s[\"", {in1, shown});
  for (std::size_t i = 0; i < components.size(); i++) {
    const Component &c = components[i];
    emit_format(out, "\n%s        + \"%s%s=\" + %s", {in1, i > 0 ? ", " : "", c.name,
                                                        show_text(c.type, format_text("this.%s", {c.name}))});
  }
  emit(out, " + \"]\";\n");
  emit_format(out, "%s}\n", {indent});
}

void emit_decode_javadoc(JavaOutput &out, std::string_view indent, std::string_view what, std::string_view extra) {
  std::string tags = format_text("@param xdr the stream, positioned at the value\n@return the value\n"
                                 "@throws %s when the input is short or breaks %s",
                                 {xdr_error, what});
  if (!extra.empty()) tags += format_text("%s", {extra});
  emit(out, javadoc(indent, "Decodes a value, allocating only what the data holds.", {}, tags));
}

void emit_encode_javadoc(JavaOutput &out, std::string_view indent) {
  emit(out, javadoc(indent, "Encodes this value.", {},
                    format_text("@param xdr the stream to encode into\n@throws %s when a member does not fit its "
                                "declared size or cannot be encoded",
                                {xdr_error})));
}

std::string member_label(const Definition &def, std::string_view member) {
  return format_text("%s.%s", {def.name, member});
}

}  // namespace

// ---- Structs ----

void emit_value_record(JavaOutput &out, const Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name) {
  const std::string name = type_class_name(def.name, memory);
  std::vector<Component> components;
  std::vector<std::string> classes = {name, "Builder", std::string(interface_name)};  // the classes the text names
  for (const Declaration &member : def.members) {
    if (member.type == "void") continue;
    components.push_back({{}, member_label(def, member.name), resolve_declaration(member, memory, interface_name),
                          member.doc});
    if (!components.back().type.class_name.empty()) classes.push_back(components.back().type.class_name);
  }
  const MemberNames members(def, classes);
  std::size_t next = 0;
  for (const Declaration &member : def.members)
    if (member.type != "void") components[next++].name = members.of(member.name);
  open_java_file(out, name);
  emit(out, javadoc("", format_text("Struct %s of the interface, a value compared by content.", {code_text(def.name)}),
                    def.doc, param_tags(components)));
  emit_format(out, "public %s", {record_header(name, components, {})});
  emit_compact_constructor(out, "    ", name, components, {}, {});
  emit(out, "\n");

  // Encoding and decoding.
  emit_encode_javadoc(out, "    ");
  emit_format(out, "    public void encode(%s xdr) throws %s {\n", {xdr_class, xdr_error});
  for (const Component &c : components)
    emit_format(out, "        %s;\n", {encode_text(c.type, format_text("this.%s", {c.name}), "xdr", c.label)});
  emit(out, "    }\n\n");
  emit_decode_javadoc(out, "    ", format_text("struct %s", {code_text(def.name)}), {});
  emit_format(out, "    public static %s decode(%s xdr) throws %s {\n        return new %s(", {name, xdr_class, xdr_error, name});
  for (std::size_t i = 0; i < components.size(); i++) {
    emit_format(out, "%s\n                %s", {i > 0 ? "," : "", decode_text(components[i].type, "xdr", components[i].label)});
  }
  emit(out, ");\n    }\n\n");

  emit_value_methods(out, "    ", name, name, components);
  emit(out, "\n");

  // The builder.
  emit(out, javadoc("    ",
                    "A builder with every member at its default: 0, false, empty strings, data and lists, null for "
                    "optional data; a member without a default (a struct, union or enum, a list of fixed length) "
                    "must be set.",
                    {}, "@return a new builder"));
  emit_format(out, "    public static Builder builder() {\n        return new Builder();\n    }\n\n", {});
  emit(out, javadoc("    ", "A builder holding the members of this value.", {}, "@return a new builder"));
  emit(out, "    public Builder toBuilder() {\n        Builder b = new Builder();\n");
  for (const Component &c : components) emit_format(out, "        b.%s = this.%s;\n", {c.name, c.name});
  emit(out, "        return b;\n    }\n\n");
  emit(out, javadoc("    ", format_text("Builds {@link %s} values; not safe for use by several threads at once.", {name}),
                    {}));
  emit(out, "    public static final class Builder {\n");
  for (const Component &c : components) {
    const std::string initial = default_value_text(c.type);
    if (initial.empty())
      emit_format(out, "        private %s %s;\n", {java_type_text(c.type), c.name});
    else
      emit_format(out, "        private %s %s = %s;\n", {java_type_text(c.type), c.name, initial});
  }
  emit(out, "\n        private Builder() {\n        }\n\n");
  for (const Component &c : components) {
    emit(out, javadoc("        ", format_text("Sets {@code %s}.", {c.name}), {},
                      format_text("@param %s %s\n@return this builder", {c.name, type_note(c.type)})));
    emit_format(out, "        public Builder %s(%s %s) {\n            this.%s = %s;\n            return this;\n        }\n\n",
                {c.name, java_type_text(c.type), c.name, c.name, c.name});
  }
  emit(out, javadoc("        ", format_text("The value of the members set.", {}), {},
                    format_text("@return a new {@link %s}\n@throws java.lang.NullPointerException when a member "
                                "without a default is not set\n@throws java.lang.IllegalArgumentException when a "
                                "member is not of its declared size",
                                {name})));
  emit_format(out, "        public %s build() {\n            return new %s(", {name, name});
  for (std::size_t i = 0; i < components.size(); i++)
    emit_format(out, "%sthis.%s", {i > 0 ? ", " : "", components[i].name});
  emit(out, ");\n        }\n    }\n}\n");
  close_java_file(out);
}

// ---- Enums ----

namespace {

// The value of each member as far as the input gives numbers, counting on
// from the last explicit value; none where a name without a known value
// stands in the way.
std::vector<std::optional<NumberValue>> enum_values(const Definition &def, const DefinitionMemory &memory) {
  std::vector<std::optional<NumberValue>> values;
  std::optional<NumberValue> last{NumberValue{}};
  std::uint64_t count = 0;
  for (const EnumMember &member : def.enum_members) {
    if (member.value) {
      const auto own = std::find_if(def.enum_members.data(), &member,
                                    [&](const EnumMember &earlier) { return earlier.name == *member.value; });
      if (own != &member)
        last = values[static_cast<std::size_t>(own - def.enum_members.data())];
      else if (std::optional<NumberValue> number = number_value(*member.value))
        last = number;
      else if (const RememberedValue *named = find_value(memory, *member.value))
        last = named->value;
      else
        last.reset();
      count = 0;
    }
    std::optional<NumberValue> value;
    if (last) {
      if (std::optional<NumberValue> sum = add_count(*last, count)) value = int_value(*sum);
    }
    values.push_back(value);
    count++;
  }
  return values;
}

std::string int_text(const NumberValue &v) {
  return v.negative ? format_text("-%s", {std::to_string(v.magnitude)}) : std::to_string(v.magnitude);
}

// A name in a value: an enum member as its number, a constant of the
// version class.
std::string value_name_text(std::string_view name, const DefinitionMemory &memory, std::string_view interface_name) {
  const RememberedValue *named = find_value(memory, name);
  if (named != nullptr && named->value) return int_text(int_value(*named->value));
  if (named != nullptr && named->is_enum_member)
    return format_text("%s.%s.number()", {type_class_name(named->enum_name, memory),
                                          style_name(name, StyleRole::EnumConstant)});
  const std::string constant = style_name(name, StyleRole::Constant);
  return interface_name.empty() ? constant : format_text("%s.%s", {interface_name, constant});
}

}  // namespace

std::string enum_number_text(const Definition &def, std::size_t member, const DefinitionMemory &memory,
                             std::string_view interface_name) {
  const std::vector<std::optional<NumberValue>> values = enum_values(def, memory);
  if (values[member]) return int_text(*values[member]);
  // Count back to the last explicit value.
  std::size_t from = member;
  while (!def.enum_members[from].value && from > 0) from--;
  const EnumMember &base = def.enum_members[from];
  std::string text = !base.value ? std::string("0")
                     : starts_like_number(*base.value)
                         ? java_int_literal(*base.value)
                         : value_name_text(*base.value, memory, interface_name);
  const auto own = std::find_if(def.enum_members.begin(), def.enum_members.begin() + static_cast<long>(from),
                                [&](const EnumMember &earlier) { return base.value && earlier.name == *base.value; });
  if (own != def.enum_members.begin() + static_cast<long>(from))
    text = enum_number_text(def, static_cast<std::size_t>(own - def.enum_members.begin()), memory, interface_name);
  if (member > from) text = format_text("(%s) + %s", {text, std::to_string(member - from)});
  return text;
}

void emit_java_enum(JavaOutput &out, const Definition &def, const DefinitionMemory &memory,
                    std::string_view interface_name) {
  const std::string name = type_class_name(def.name, memory);
  const std::vector<std::optional<NumberValue>> values = enum_values(def, memory);
  const bool all_known = std::all_of(values.begin(), values.end(), [](const auto &v) { return v.has_value(); });
  open_java_file(out, name);
  emit(out, javadoc("", format_text("Enum %s of the interface; each constant has its number on the wire.",
                                    {code_text(def.name)}),
                    def.doc));
  emit_format(out, "public enum %s {\n", {name});
  for (std::size_t i = 0; i < def.enum_members.size(); i++) {
    const EnumMember &member = def.enum_members[i];
    const std::string number = enum_number_text(def, i, memory, interface_name);
    emit(out, javadoc("    ", format_text("%s = %s.", {code_text(member.name), number}), member.doc));
    emit_format(out, "    %s(%s)%s\n", {style_name(member.name, StyleRole::EnumConstant), number,
                                        i + 1 < def.enum_members.size() ? "," : ";"});
  }
  if (!all_known) emit_format(out, "\n    private static final %s[] VALUES = values();", {name});
  emit(out, "\n    private final int number;\n\n");
  emit_format(out, "    %s(int number) {\n        this.number = number;\n    }\n\n", {name});
  emit(out, javadoc("    ", "The number of this constant on the wire.", {}, "@return the number"));
  emit(out, "    public int number() {\n        return this.number;\n    }\n\n");

  // The constant of a number: by a switch when every number is known
  // here (the first constant of a number wins), else by a search.
  emit_format(out, "    private static %s lookup(int number) {\n", {name});
  if (all_known) {
    emit(out, "        switch (number) {\n");
    std::vector<std::uint64_t> seen;
    for (std::size_t i = 0; i < values.size(); i++) {
      const NumberValue &v = *values[i];
      const std::uint64_t key = v.negative ? (0x100000000ull - v.magnitude) & 0xffffffffull : v.magnitude;
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
      seen.push_back(key);
      emit_format(out, "            case %s:\n                return %s;\n",
                  {int_text(v), style_name(def.enum_members[i].name, StyleRole::EnumConstant)});
    }
    emit(out, "            default:\n                return null;\n        }\n    }\n\n");
  } else {
    emit_format(out,
                "        for (%s c : VALUES) {\n            if (c.number == number) {\n                return c;\n"
                "            }\n        }\n        return null;\n    }\n\n",
                {name});
  }
  emit(out, javadoc("    ", "The constant of a number.", {},
                    format_text("@param number the number\n@return the constant\n@throws "
                                "java.lang.IllegalArgumentException when enum %s declares no such number",
                                {code_text(def.name)})));
  emit_format(out, "    public static %s forNumber(int number) {\n        %s c = lookup(number);\n", {name, name});
  emit_format(out,
              "        if (c == null) {\n            throw new java.lang.IllegalArgumentException(number + \" is no "
              "value of enum %s\");\n        }\n        return c;\n    }\n\n",
              {def.name});
  emit(out, javadoc("    ", "Encodes this constant: its number.", {}, "@param xdr the stream to encode into"));
  emit_format(out, "    public void encode(%s xdr) {\n        xdr.enc_int(this.number);\n    }\n\n", {xdr_class});
  emit_decode_javadoc(out, "    ", format_text("enum %s: a number it does not declare", {code_text(def.name)}), {});
  emit_format(out, "    public static %s decode(%s xdr) throws %s {\n        int number = xdr.dec_int();\n",
              {name, xdr_class, xdr_error});
  emit_format(out,
              "        %s c = lookup(number);\n        if (c == null) {\n            throw new %s(\"XDR: \" + number + "
              "\" is no value of enum %s\");\n        }\n        return c;\n    }\n}\n",
              {name, xdr_error, def.name});
  close_java_file(out);
}

// ---- Unions ----

namespace {

// What a union's discriminant is in Java, and how its labels are written.
// Void: nothing on the wire, the arm of 0 (or the default arm) always.
enum class LabelKind { Int, Long, Bool, Enum, Void };

struct Discriminant {
  LabelKind kind = LabelKind::Int;
  IdiomType type;
  std::string name;       // the Java name of its accessor and components
  std::string enum_type;  // Enum: the Java enum, and its name in the input
  std::string enum_xdr;
};

// The Java constant of the discriminant's enum that a label names, or
// empty when it names none (a number no member has, say).
std::string enum_label_text(std::string_view label, const Discriminant &d, const DefinitionMemory &memory) {
  const RememberedValue *named = starts_like_number(label) ? nullptr : find_value(memory, label);
  if (named != nullptr && named->is_enum_member && named->enum_name == d.enum_xdr)
    return style_name(label, StyleRole::EnumConstant);
  if (named != nullptr && !named->is_enum_member && !named->alias_member.empty() && named->enum_name == d.enum_xdr)
    return style_name(named->alias_member, StyleRole::EnumConstant);
  // A number, or a constant with a number: the member of that number.
  std::optional<NumberValue> value = starts_like_number(label) ? number_value(label)
                                     : named != nullptr       ? named->value
                                                              : std::nullopt;
  if (!value) return {};
  const NumberValue wanted = int_value(*value);
  const NameTable<RememberedValue> &values = memory.values;
  for (std::size_t i = 0; i < values.records.size(); i++) {
    const RememberedValue &member = values.records[i];
    if (!member.is_enum_member || member.enum_name != d.enum_xdr || !member.value) continue;
    const NumberValue v = int_value(*member.value);
    if (v.negative == wanted.negative && v.magnitude == wanted.magnitude)
      return style_name(values.entries[i].name, StyleRole::EnumConstant);
  }
  return {};
}

// A label as a Java expression of the discriminant's type; empty when it
// cannot be one (an enum label that names no member).
std::string label_text(std::string_view label, const Discriminant &d, const DefinitionMemory &memory,
                       std::string_view interface_name) {
  switch (d.kind) {
    case LabelKind::Enum: {
      const std::string constant = enum_label_text(label, d, memory);
      return constant.empty() ? constant : format_text("%s.%s", {d.enum_type, constant});
    }
    case LabelKind::Bool: {
      if (label == "TRUE") return "true";
      if (label == "FALSE") return "false";
      const RememberedValue *named = starts_like_number(label) ? nullptr : find_value(memory, label);
      std::optional<NumberValue> value = starts_like_number(label) ? number_value(label)
                                         : named != nullptr       ? named->value
                                                                  : std::nullopt;
      if (value && value->magnitude <= 1) return is_zero(*value) ? "false" : "true";
      return {};
    }
    case LabelKind::Long: {
      if (starts_like_number(label)) return java_long_literal(label);
      const RememberedValue *named = find_value(memory, label);
      if (named != nullptr && !named->number_text.empty()) return java_long_literal(named->number_text);
      if (named != nullptr && named->value) {
        const NumberValue v = *named->value;
        return v.negative ? format_text("-%sL", {std::to_string(v.magnitude)})
                          : java_long_literal(std::to_string(v.magnitude));
      }
      return format_text("(long) %s", {value_name_text(label, memory, interface_name)});
    }
    case LabelKind::Int:
      if (starts_like_number(label)) return java_int_literal(label);
      return value_name_text(label, memory, interface_name);
    case LabelKind::Void: {
      const RememberedValue *named = starts_like_number(label) ? nullptr : find_value(memory, label);
      std::optional<NumberValue> value = starts_like_number(label) ? number_value(label)
                                         : named != nullptr       ? named->value
                                                                  : std::nullopt;
      return value && is_zero(*value) ? "0" : "";
    }
  }
  return {};
}

// A case record's name from a label: FALSE -> False, KV_NOTFOUND ->
// KvNotfound, 7 -> Case7, -1 -> CaseMinus1.
std::string label_case_name(std::string_view label) {
  if (!starts_like_number(label)) return style_name(label, StyleRole::Type);
  std::string name = "Case";
  for (char c : label) {
    if (c == '-')
      name += "Minus";
    else
      name.push_back(c);
  }
  return name;
}

struct Arm {
  std::string name;                   // the case record
  std::vector<std::string> labels;    // Java expressions; empty for the default arm
  std::vector<std::string_view> xdr_labels;
  const Declaration *decl = nullptr;  // its member (type "void": none)
  bool is_default = false;
  bool varies = false;                // the discriminant is a component: several labels, or the default arm
  std::vector<Component> components;  // the discriminant (when it varies), the member
};

std::string arm_text(const Definition &def, const Arm &arm) {
  std::string text;
  if (arm.is_default) {
    text = "default:";
  } else {
    for (std::string_view label : arm.xdr_labels) {
      if (!text.empty()) text += " ";
      text += format_text("case %s:", {label});
    }
  }
  const Declaration &decl = *arm.decl;
  if (decl.type == "void")
    text += " void";
  else
    text += format_text(" %s %s", {decl.type, decl.name});
  (void)def;
  return code_text(text);
}

}  // namespace

void emit_sealed_union(JavaOutput &out, const Definition &def, const DefinitionMemory &memory,
                       std::string_view interface_name) {
  const std::string name = type_class_name(def.name, memory);
  Discriminant d;
  d.type = resolve_declaration(def.discriminant, memory, interface_name);
  if (d.type.core == CoreKind::Enum && d.type.layers.empty()) {
    d.kind = LabelKind::Enum;
    d.enum_type = d.type.class_name;
    d.enum_xdr = d.type.xdr_name;
  } else if (is_void(d.type)) {
    d.kind = LabelKind::Void;
    d.type = resolve_type_name("int", memory, interface_name);
  } else if (is_primitive(d.type) && d.type.builtin->java == "boolean") {
    d.kind = LabelKind::Bool;
  } else if (is_primitive(d.type) && d.type.builtin->java == "long") {
    d.kind = LabelKind::Long;
  }
  const std::string disc_java = java_type_text(d.type);

  // The arms, their labels and names. Names that meet a type the text
  // names, the union itself or each other get "Case", then "_".
  std::vector<Arm> arms;
  for (const UnionCase &c : def.cases) {
    Arm arm;
    arm.decl = &c.declaration;
    for (std::string_view label : arm_labels(def, c)) {
      std::string text = label_text(label, d, memory, interface_name);
      if (text.empty()) continue;  // names no value of the discriminant: never selected
      arm.labels.push_back(std::move(text));
      arm.xdr_labels.push_back(label);
    }
    if (arm.labels.empty()) continue;
    arms.push_back(std::move(arm));
  }
  // Without a discriminant the arm of 0 is always taken, the default arm
  // only when there is none.
  const bool has_default = def.default_arm.has_value() && !(d.kind == LabelKind::Void && !arms.empty());
  if (has_default) {
    Arm arm;
    arm.decl = &*def.default_arm;
    arm.is_default = true;
    arms.push_back(std::move(arm));
  }
  std::vector<std::string> taken = {name};
  if (!d.type.class_name.empty()) taken.push_back(d.type.class_name);
  for (const Arm &arm : arms) {
    if (arm.decl->type == "void") continue;
    const IdiomType t = resolve_declaration(*arm.decl, memory, interface_name);
    if (!t.class_name.empty()) taken.push_back(t.class_name);
  }
  for (Arm &arm : arms) {
    std::string base = arm.decl->type != "void" ? style_name(arm.decl->name, StyleRole::Type)
                       : arm.is_default         ? std::string("Default")
                                                : label_case_name(arm.xdr_labels.front());
    std::string chosen = base;
    auto clash = [&](const std::string &n) { return std::find(taken.begin(), taken.end(), n) != taken.end(); };
    if (clash(chosen)) chosen = format_text("%sCase", {base});
    while (clash(chosen)) chosen.push_back('_');
    arm.name = chosen;
    taken.push_back(chosen);
  }
  // The members, once every class the text names is known.
  taken.push_back("Builder");
  taken.emplace_back(interface_name);
  const MemberNames members(def, taken);
  d.name = def.discriminant.name.empty() ? std::string("discriminant") : members.of(def.discriminant.name);
  for (Arm &arm : arms) {
    arm.varies = d.kind != LabelKind::Void && (arm.is_default || arm.labels.size() > 1);
    if (d.kind == LabelKind::Void) arm.labels = {"0"};
    if (arm.varies) arm.components.push_back({d.name, member_label(def, def.discriminant.name), d.type, {}});
    if (arm.decl->type != "void")
      arm.components.push_back({members.of(arm.decl->name), member_label(def, arm.decl->name),
                                resolve_declaration(*arm.decl, memory, interface_name), arm.decl->doc});
  }

  open_java_file(out, name);
  std::string permits;
  for (const Arm &arm : arms) permits += format_text("%s%s.%s", {permits.empty() ? "" : ", ", name, arm.name});
  emit(out, javadoc("", format_text("Union %s of the interface: one record for each arm, by the discriminant %s.",
                                    {code_text(def.name), code_text(def.discriminant.name)}),
                    def.doc));
  if (arms.empty()) {
    // No arm is ever selected: a union nobody can make or decode.
    emit_format(out, "public interface %s {\n", {name});
  } else {
    emit_format(out, "public sealed interface %s permits %s {\n", {name, permits});
  }
  emit(out, javadoc("    ", format_text("The discriminant %s, which selects the arm.", {code_text(def.discriminant.name)}),
                    def.discriminant.doc, format_text("@return the discriminant, %s", {type_note(d.type)})));
  emit_format(out, "    %s %s();\n\n", {disc_java, d.name});
  emit_encode_javadoc(out, "    ");
  emit_format(out, "    void encode(%s xdr) throws %s;\n\n", {xdr_class, xdr_error});

  // Decoding: the discriminant, then the arm it selects.
  emit_decode_javadoc(out, "    ", format_text("union %s, or its discriminant selects no arm", {code_text(def.name)}),
                      {});
  emit_format(out, "    static %s decode(%s xdr) throws %s {\n", {name, xdr_class, xdr_error});
  if (d.kind == LabelKind::Void)
    emit(out, "        int discriminant = 0;\n");
  else
    emit_format(out, "        %s discriminant = %s;\n",
                {disc_java, decode_text(d.type, "xdr", member_label(def, def.discriminant.name))});
  const Arm *default_arm = has_default ? &arms.back() : nullptr;
  for (const Arm &arm : arms) {
    if (arm.is_default) continue;
    std::string test;
    for (const std::string &label : arm.labels) {
      if (!test.empty()) test += " || ";
      test += format_text("discriminant == %s", {label});
    }
    emit_format(out, "        if (%s) {\n            return new %s(", {test, arm.name});
    for (std::size_t i = 0; i < arm.components.size(); i++) {
      const Component &c = arm.components[i];
      if (i > 0) emit(out, ", ");
      if (arm.varies && i == 0)
        emit(out, "discriminant");
      else
        emit(out, decode_text(c.type, "xdr", c.label));
    }
    emit(out, ");\n        }\n");
  }
  if (default_arm != nullptr) {
    emit_format(out, "        return new %s(%s", {default_arm->name, default_arm->varies ? "discriminant" : ""});
    if (default_arm->decl->type != "void")
      emit_format(out, "%s%s", {default_arm->varies ? ", " : "",
                                decode_text(default_arm->components.back().type, "xdr", default_arm->components.back().label)});
    emit(out, ");\n    }\n");
  } else {
    emit_format(out, "        throw new %s(\"XDR: union %s has no arm for discriminant \" + discriminant);\n    }\n",
                {xdr_error, def.name});
  }

  // The records of the arms.
  for (const Arm &arm : arms) {
    emit(out, "\n");
    std::string summary = format_text("The arm %s.", {arm_text(def, arm)});
    emit(out, javadoc("    ", summary, arm.decl->doc, param_tags(arm.components)));
    emit_format(out, "    %s", {record_header(arm.name, arm.components, name)});
    // A discriminant that varies must be one of the arm's labels, or for
    // the default arm none of the others'.
    std::string extra;
    if (arm.varies) {
      std::string test;
      if (arm.is_default) {
        for (const Arm &other : arms)
          for (const std::string &label : other.labels) {
            if (!test.empty()) test += " || ";
            test += format_text("%s == %s", {d.name, label});
          }
      } else {
        for (const std::string &label : arm.labels) {
          if (!test.empty()) test += " || ";
          test += format_text("%s == %s", {d.name, label});
        }
        test = format_text("!(%s)", {test});
      }
      if (!test.empty())
        extra = format_text("            if (%s) {\n                throw new java.lang.IllegalArgumentException(\"union %s: \" + %s + \" selects another arm\");\n            }\n",
                            {test, def.name, d.name});
    }
    emit_compact_constructor(out, "        ", arm.name, arm.components, extra,
                             extra.empty() ? std::string_view()
                                           : "@throws java.lang.IllegalArgumentException when the discriminant selects another arm");
    if (!arm.varies) {
      emit_format(out, "\n        @java.lang.Override\n        public %s %s() {\n            return %s;\n        }\n",
                  {disc_java, d.name, arm.labels.front()});
    }
    emit_format(out, "\n        @java.lang.Override\n        public void encode(%s xdr) throws %s {\n", {xdr_class, xdr_error});
    if (d.kind != LabelKind::Void)
      emit_format(out, "            %s;\n", {encode_text(d.type, format_text("this.%s()", {d.name}), "xdr",
                                                      member_label(def, def.discriminant.name))});
    if (arm.decl->type != "void") {
      const Component &member = arm.components.back();
      emit_format(out, "            %s;\n", {encode_text(member.type, format_text("this.%s", {member.name}), "xdr", member.label)});
    }
    emit(out, "        }\n\n");
    emit_value_methods(out, "        ", arm.name, format_text("%s.%s", {name, arm.name}), arm.components);
    emit(out, "    }\n");
  }
  emit(out, "}\n");
  close_java_file(out);
}
