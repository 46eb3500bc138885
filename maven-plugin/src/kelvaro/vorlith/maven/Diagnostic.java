// SPDX-License-Identifier: Apache-2.0
package kelvaro.vorlith.maven;

import java.util.List;
import java.util.Optional;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * An input error as vorlith reports it on standard error: the input line
 * echoed, a line of carets under what had been read, then
 * {@code FILE, line N: MESSAGE}. Shown to Maven as
 * {@code FILE:[LINE,COLUMN] MESSAGE}, the form the compiler plugin uses, so
 * that consoles and IDEs link it to the place in the file.
 *
 * @param file the input file as vorlith named it (the plugin passes absolute paths)
 * @param line the line number, from 1
 * @param column the column of the last character read (tabs widened as vorlith echoes them), 0 when unknown
 * @param message what is wrong
 * @param sourceLine the echoed input line, empty when there is none
 */
record Diagnostic(String file, int line, int column, String message, String sourceLine) {

    private static final Pattern REPORT = Pattern.compile("^(.+), line ([0-9]+): (.*)$");
    private static final Pattern CARETS = Pattern.compile("\\^+$");

    /**
     * Finds the input error in what vorlith wrote on standard error: the
     * last line of the form {@code FILE, line N: MESSAGE}, with the echoed
     * line and the carets above it when they are there.
     */
    static Optional<Diagnostic> parse(String stderr) {
        List<String> lines = stderr.lines().toList();
        for (int i = lines.size() - 1; i >= 0; i--) {
            Matcher m = REPORT.matcher(lines.get(i));
            if (!m.matches())
                continue;
            int line;
            try {
                line = Integer.parseInt(m.group(2));
            } catch (NumberFormatException e) {
                continue;
            }
            int column = 0;
            String source = "";
            if (i >= 1) {
                // An echoed last line without its line feed has the carets right after it.
                String above = lines.get(i - 1);
                Matcher carets = CARETS.matcher(above);
                if (carets.find()) {
                    column = carets.end() - carets.start();
                    source = above.substring(0, carets.start());
                    if (source.isEmpty() && i >= 2)
                        source = lines.get(i - 2);
                }
            }
            return Optional.of(new Diagnostic(m.group(1), line, column, m.group(3), source));
        }
        return Optional.empty();
    }

    /** {@code FILE:[LINE,COLUMN] MESSAGE}, or {@code FILE:[LINE] MESSAGE} without a column. */
    String location() {
        return file + ":[" + line + (column > 0 ? "," + column : "") + "]";
    }

    @Override
    public String toString() {
        return location() + " " + message;
    }
}
