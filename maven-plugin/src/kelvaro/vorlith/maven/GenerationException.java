// SPDX-License-Identifier: Apache-2.0
package kelvaro.vorlith.maven;

import java.util.Optional;

/**
 * Why the sources could not be made: an error in an input file (a
 * {@link Diagnostic}, which Maven shows as a build failure), or a fault
 * around the inputs (vorlith missing or refusing its options, a file that
 * cannot be written), which Maven shows as a build error.
 */
final class GenerationException extends Exception {
    private static final long serialVersionUID = 1L;

    private final transient Diagnostic diagnostic;

    private GenerationException(String message, Diagnostic diagnostic) {
        super(message);
        this.diagnostic = diagnostic;
    }

    static GenerationException input(Diagnostic d) {
        return new GenerationException(d.toString(), d);
    }

    static GenerationException tool(String message) {
        return new GenerationException(message, null);
    }

    /** The input error, when this is one. */
    Optional<Diagnostic> diagnostic() {
        return Optional.ofNullable(diagnostic);
    }
}
