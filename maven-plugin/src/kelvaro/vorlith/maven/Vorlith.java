// SPDX-License-Identifier: Apache-2.0
package kelvaro.vorlith.maven;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;

/** The vorlith program: where it is, its version, and one run of it. */
final class Vorlith {

    /** What a run left: its exit status and what it wrote on its two streams. */
    record Result(int status, String stdout, String stderr) {
    }

    private final Path program;

    private Vorlith(Path program) {
        this.program = program;
    }

    Path program() {
        return program;
    }

    /**
     * The program named by executable: a path when it holds a '/', else the
     * first executable file of that name in a folder of path (the PATH
     * variable).
     */
    static Vorlith find(String executable, String path) throws GenerationException {
        if (executable.contains("/")) {
            Path p = Path.of(executable).toAbsolutePath();
            if (!Files.isRegularFile(p) || !Files.isExecutable(p))
                throw GenerationException.tool("vorlith: " + p + " is not an executable file (parameter executable)");
            return new Vorlith(p);
        }
        if (path != null) {
            for (String dir : path.split(File.pathSeparator)) {
                if (dir.isEmpty())
                    continue;
                Path p = Path.of(dir, executable);
                if (Files.isRegularFile(p) && Files.isExecutable(p))
                    return new Vorlith(p.toAbsolutePath());
            }
        }
        throw GenerationException.tool("vorlith: no program " + executable + " on PATH (" + path
                + "); install the Debian package vorlith, or name the program with the parameter executable"
                + " (-Dvorlith.executable=/path/to/vorlith)");
    }

    /**
     * What stands for this program in the up-to-date check: the line
     * --version prints, its path, size and modification time, so that a
     * rebuilt vorlith of the same version also makes the sources again.
     */
    String identity(Path workDir) throws GenerationException {
        Result r = run(List.of("--version"), workDir, Map.of());
        String first = r.stdout().lines().findFirst().orElse("");
        if (r.status() != 0 || first.isEmpty())
            throw GenerationException.tool("vorlith: " + program + " --version failed (status " + r.status() + ")"
                    + (r.stderr().isBlank() ? "" : ": " + r.stderr().strip()));
        try {
            return first + "\n" + program + " " + Files.size(program) + " " + Files.getLastModifiedTime(program);
        } catch (IOException e) {
            throw GenerationException.tool("vorlith: " + program + ": " + e.getMessage());
        }
    }

    /** Runs the program with arguments in workDir, its environment this one's plus extra. */
    Result run(List<String> arguments, Path workDir, Map<String, String> extra) throws GenerationException {
        List<String> command = new ArrayList<>();
        command.add(program.toString());
        command.addAll(arguments);
        ProcessBuilder pb = new ProcessBuilder(command).directory(workDir.toFile());
        pb.environment().putAll(extra);
        Path out = null;
        Path err = null;
        try {
            // Files rather than pipes: neither stream can fill up and stall the other.
            out = Files.createTempFile(workDir, "vorlith-", ".out");
            err = Files.createTempFile(workDir, "vorlith-", ".err");
            pb.redirectInput(ProcessBuilder.Redirect.from(new File("/dev/null")));
            pb.redirectOutput(out.toFile());
            pb.redirectError(err.toFile());
            Process p = pb.start();
            int status;
            try {
                status = p.waitFor();
            } catch (InterruptedException e) {
                p.destroy();
                Thread.currentThread().interrupt();
                throw GenerationException.tool("vorlith: interrupted");
            }
            return new Result(status, Files.readString(out, StandardCharsets.UTF_8),
                    Files.readString(err, StandardCharsets.UTF_8));
        } catch (IOException e) {
            throw GenerationException.tool("vorlith: cannot run " + program + ": " + e.getMessage());
        } finally {
            delete_quietly(out);
            delete_quietly(err);
        }
    }

    private static void delete_quietly(Path p) {
        if (p == null)
            return;
        try {
            Files.deleteIfExists(p);
        } catch (IOException e) {
            // a scratch file in the plugin's own folder; the next run does not read it
        }
    }
}
