// SPDX-License-Identifier: Apache-2.0
// Javadoc of the idiomatic output: the text of a doc comment of the input,
// made safe for a Javadoc comment, and the comments themselves.
#pragma once

#include <string>
#include <string_view>

// The text of a comment of the input ("/* ... */", or empty), as Javadoc
// text: without its delimiters and the "*" that starts its inner lines,
// its lines joined by one blank, HTML and Javadoc's own marks written as
// entities ("<", ">", "&", "@", "{", "}", "\", "*" of "*/"), bytes outside
// printable ASCII as their code point (valid UTF-8) or "?" (any other).
// Empty when the comment holds no text.
std::string doc_text(std::string_view comment);

// A Javadoc comment at indent: the summary sentence (Javadoc text), the
// input's doc comment when there is one, and the block tags, one a line
// ("@param name text"). Lines are not wrapped.
std::string javadoc(std::string_view indent, std::string_view summary, std::string_view comment,
                    std::string_view tags = {});
