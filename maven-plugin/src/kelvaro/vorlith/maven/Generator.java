// SPDX-License-Identifier: Apache-2.0
package kelvaro.vorlith.maven;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.PathMatcher;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.HexFormat;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.TreeMap;
import java.util.function.Consumer;
import java.util.stream.Stream;

/**
 * Runs vorlith over the input files that changed, without Maven: one run
 * per input, into a scratch folder, whose files then replace what the
 * same input wrote the last time.
 *
 * <p>The up-to-date check keeps one stamp file per input under the stamp
 * folder ({@code inputs/}, then its path below the source folder plus
 * {@code .stamp}): a hash of
 * the input's bytes, the option line, the environment given to vorlith and
 * vorlith's identity (version, path, size, time), then the files that run
 * wrote. An input whose hash is unchanged and whose files are all there is
 * not run again. A changed input's old files are removed before its new
 * ones go in, so a type renamed or removed in the input leaves no stale
 * class; an input that is gone takes its files with it. Two inputs that
 * would write the same file are an error naming both. With the C
 * preprocessor on, every other file of the source folder counts as part of
 * each input, since an input may include them.
 */
final class Generator {

    /** What a run of the goal works on. */
    record Request(Path sourceDirectory, List<String> includes, List<String> excludes, Path outputDirectory,
            Path stampDirectory, List<String> options, Map<String, String> environment, boolean preprocess) {
    }

    /** What a run of the goal did. */
    record Summary(int inputs, int generated, int removed) {
    }

    private static final String STAMP_HEADER = "# vorlith-maven-plugin: the hash of an input and the files it wrote";

    /** Finds the vorlith program; asked only when there is an input to run it on. */
    interface Finder {
        Vorlith find() throws GenerationException;
    }

    private final Finder finder;
    private final Request request;
    private final Consumer<String> warn;
    private final Consumer<String> debug;
    private Vorlith vorlith;

    Generator(Finder finder, Request request, Consumer<String> warn, Consumer<String> debug) {
        this.finder = finder;
        this.request = request;
        this.warn = warn;
        this.debug = debug;
    }

    /** Makes the sources of every input that needs it; see the class comment. */
    Summary run() throws GenerationException {
        Path out = request.outputDirectory().toAbsolutePath().normalize();
        Path stamps = request.stampDirectory().toAbsolutePath().normalize().resolve("inputs");
        Path scratch = request.stampDirectory().toAbsolutePath().normalize().resolve("scratch");
        List<Path> inputs = inputs();
        if (inputs.isEmpty()) {
            // Nothing to run vorlith on, so it need not even be installed; what
            // earlier inputs wrote goes.
            int removed = Files.isDirectory(stamps) ? remove_vanished(stamps, inputs, new TreeMap<>()) : 0;
            return new Summary(0, 0, removed);
        }
        create_directories(stamps);
        delete_tree(scratch);
        create_directories(scratch);
        vorlith = finder.find();
        String identity = vorlith.identity(scratch);

        // Inputs whose stamps still hold claim their files first, so that a
        // changed input cannot take over a file another one writes.
        Map<Path, Path> owner = new TreeMap<>();
        Map<Path, String> keys = new LinkedHashMap<>();
        List<Path> stale = new ArrayList<>();
        for (Path input : inputs) {
            String key = key(identity, input, out);
            keys.put(input, key);
            Optional<Stamp> stamp = Stamp.read(stamp_file(stamps, input));
            if (stamp.isPresent() && stamp.get().key().equals(key) && stamp.get().complete()) {
                for (Path f : stamp.get().outputs())
                    owner.put(f, input);
            } else {
                stale.add(input);
            }
        }

        int removed = remove_vanished(stamps, inputs, owner);
        for (Path input : stale) {
            Path stamp_file = stamp_file(stamps, input);
            Optional<Stamp> old = Stamp.read(stamp_file);
            delete(stamp_file);
            if (old.isPresent())
                for (Path f : old.get().outputs())
                    if (!owner.containsKey(f))
                        delete_output(f, out);
            List<Path> written = generate(input, out, scratch, owner);
            write_stamp(stamp_file, keys.get(input), written);
        }
        return new Summary(inputs.size(), stale.size(), removed);
    }

    /** The input files: regular files below the source folder that an include pattern matches and no exclude does. */
    private List<Path> inputs() throws GenerationException {
        Path src = request.sourceDirectory().toAbsolutePath().normalize();
        if (!Files.isDirectory(src))
            return List.of();
        List<PathMatcher> includes = matchers(request.includes());
        List<PathMatcher> excludes = matchers(request.excludes());
        try (Stream<Path> files = Files.walk(src)) {
            return files.filter(Files::isRegularFile)
                    .filter(p -> matches(includes, src.relativize(p)) && !matches(excludes, src.relativize(p)))
                    .sorted()
                    .toList();
        } catch (IOException | UncheckedIOException e) {
            throw GenerationException.tool("vorlith: cannot list " + src + ": " + e.getMessage());
        }
    }

    private static List<PathMatcher> matchers(List<String> patterns) {
        List<PathMatcher> list = new ArrayList<>();
        for (String pattern : patterns) {
            list.add(FileSystems.getDefault().getPathMatcher("glob:" + pattern));
            // "**/*.x" also matches a file right in the folder, as Maven's patterns do.
            if (pattern.startsWith("**/"))
                list.add(FileSystems.getDefault().getPathMatcher("glob:" + pattern.substring(3)));
        }
        return list;
    }

    private static boolean matches(List<PathMatcher> matchers, Path relative) {
        for (PathMatcher m : matchers)
            if (m.matches(relative))
                return true;
        return false;
    }

    private Path stamp_file(Path stamps, Path input) {
        Path relative = request.sourceDirectory().toAbsolutePath().normalize().relativize(input);
        return stamps.resolve(relative + ".stamp");
    }

    /** The hash that decides whether input must be run again. */
    private String key(String identity, Path input, Path out) throws GenerationException {
        MessageDigest md;
        try {
            md = MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every JDK has SHA-256", e);
        }
        StringBuilder head = new StringBuilder(identity).append('\n').append(out).append('\n');
        for (String option : request.options())
            head.append(option).append('\0');
        head.append('\n');
        for (Map.Entry<String, String> e : new TreeMap<>(request.environment()).entrySet())
            head.append(e.getKey()).append('=').append(e.getValue()).append('\0');
        head.append('\n');
        md.update(head.toString().getBytes(StandardCharsets.UTF_8));
        update(md, input);
        if (request.preprocess()) {
            Path src = request.sourceDirectory().toAbsolutePath().normalize();
            try (Stream<Path> files = Files.walk(src)) {
                for (Path f : files.filter(Files::isRegularFile).sorted().toList()) {
                    if (f.equals(input))
                        continue;
                    md.update(('\n' + src.relativize(f).toString() + '\0').getBytes(StandardCharsets.UTF_8));
                    update(md, f);
                }
            } catch (IOException | UncheckedIOException e) {
                throw GenerationException.tool("vorlith: cannot list " + src + ": " + e.getMessage());
            }
        }
        return HexFormat.of().formatHex(md.digest());
    }

    private static void update(MessageDigest md, Path file) throws GenerationException {
        try {
            md.update(Files.readAllBytes(file));
        } catch (IOException e) {
            throw GenerationException.tool("vorlith: cannot read " + file + ": " + e.getMessage());
        }
    }

    /**
     * Runs vorlith on input into a scratch folder and moves what it wrote
     * into out; returns those files. Claims each of them in owner.
     */
    private List<Path> generate(Path input, Path out, Path scratches, Map<Path, Path> owner)
            throws GenerationException {
        Path scratch;
        try {
            scratch = Files.createTempDirectory(scratches, "run-");
        } catch (IOException e) {
            throw GenerationException.tool("vorlith: cannot make a scratch folder in " + scratches + ": "
                    + e.getMessage());
        }
        try {
            Path work = scratch.resolve("work");
            Path gen = scratch.resolve("gen");
            create_directories(work);
            List<String> args = new ArrayList<>(request.options());
            int at = args.indexOf("--output-dir");
            args.set(at + 1, gen.toString());
            args.add(input.toString());
            debug.accept("vorlith: " + vorlith.program() + " " + String.join(" ", args));
            Vorlith.Result r = vorlith.run(args, work, request.environment());
            if (r.status() != 0)
                throw failure(input, r);
            // Warnings, "FILE, line N: warning: ...", keep their place; anything else is shown as said.
            for (String line : r.stderr().lines().toList()) {
                if (line.isBlank())
                    continue;
                Optional<Diagnostic> d = Diagnostic.parse(line);
                if (d.isPresent())
                    warn.accept(d.get().location() + " " + d.get().message().replaceFirst("^warning: ", ""));
                else
                    warn.accept(input + ": vorlith: " + line);
            }
            if (!r.stdout().isBlank())
                debug.accept("vorlith: " + r.stdout().strip());

            List<Path> made = new ArrayList<>();
            if (Files.isDirectory(gen)) {
                try (Stream<Path> files = Files.walk(gen)) {
                    for (Path f : files.filter(Files::isRegularFile).sorted().toList())
                        made.add(gen.relativize(f));
                } catch (IOException | UncheckedIOException e) {
                    throw GenerationException.tool("vorlith: cannot list " + gen + ": " + e.getMessage());
                }
            }
            List<Path> written = new ArrayList<>();
            for (Path relative : made) {
                Path target = out.resolve(relative).normalize();
                Path other = owner.get(target);
                if (other != null && !other.equals(input))
                    throw GenerationException.tool("vorlith: " + input + " and " + other + " both write "
                            + out.relativize(target) + " (give them different packages, or exclude one)");
                owner.put(target, input);
                written.add(target);
            }
            for (Path relative : made) {
                Path target = out.resolve(relative).normalize();
                try {
                    create_directories(target.getParent());
                    Files.move(gen.resolve(relative), target, StandardCopyOption.REPLACE_EXISTING);
                } catch (IOException e) {
                    throw GenerationException.tool("vorlith: cannot write " + target + ": " + e.getMessage());
                }
            }
            return written;
        } finally {
            delete_tree(scratch);
        }
    }

    /** An input error with its place, or vorlith's own words with its status. */
    private static GenerationException failure(Path input, Vorlith.Result r) {
        Optional<Diagnostic> d = Diagnostic.parse(r.stderr());
        if (r.status() == 1 && d.isPresent())
            return GenerationException.input(d.get());
        String said = r.stderr().strip();
        return GenerationException.tool("vorlith failed on " + input + " (status " + r.status() + ")"
                + (said.isEmpty() ? "" : ":\n" + said));
    }

    /** Removes the files and stamps of inputs that are gone; returns how many inputs that was. */
    private int remove_vanished(Path stamps, List<Path> inputs, Map<Path, Path> owner) throws GenerationException {
        List<Path> wanted = new ArrayList<>();
        for (Path input : inputs)
            wanted.add(stamp_file(stamps, input));
        List<Path> found;
        try (Stream<Path> files = Files.walk(stamps)) {
            found = files.filter(p -> Files.isRegularFile(p) && p.getFileName().toString().endsWith(".stamp"))
                    .sorted().toList();
        } catch (IOException | UncheckedIOException e) {
            throw GenerationException.tool("vorlith: cannot list " + stamps + ": " + e.getMessage());
        }
        Path out = request.outputDirectory().toAbsolutePath().normalize();
        int removed = 0;
        for (Path stamp_file : found) {
            if (wanted.contains(stamp_file))
                continue;
            Optional<Stamp> stamp = Stamp.read(stamp_file);
            if (stamp.isPresent())
                for (Path f : stamp.get().outputs())
                    if (!owner.containsKey(f))
                        delete_output(f, out);
            delete(stamp_file);
            removed++;
        }
        return removed;
    }

    /** Deletes a file written earlier, then the folders it leaves empty up to the output folder. */
    private void delete_output(Path file, Path out) throws GenerationException {
        delete(file);
        Path dir = file.getParent();
        while (dir != null && dir.startsWith(out) && !dir.equals(out)) {
            try {
                Files.delete(dir);
            } catch (IOException e) {
                break; // not empty, or not ours to remove
            }
            dir = dir.getParent();
        }
    }

    private static void write_stamp(Path file, String key, List<Path> outputs) throws GenerationException {
        StringBuilder text = new StringBuilder(STAMP_HEADER).append('\n');
        text.append("key ").append(key).append('\n');
        for (Path p : outputs)
            text.append("output ").append(p).append('\n');
        try {
            create_directories(file.getParent());
            Files.writeString(file, text, StandardCharsets.UTF_8);
        } catch (IOException e) {
            throw GenerationException.tool("vorlith: cannot write " + file + ": " + e.getMessage());
        }
    }

    /** A stamp as read back: its key and the files its input wrote. */
    private record Stamp(String key, List<Path> outputs) {
        static Optional<Stamp> read(Path file) throws GenerationException {
            List<String> lines;
            try {
                lines = Files.readAllLines(file, StandardCharsets.UTF_8);
            } catch (NoSuchFileException e) {
                return Optional.empty();
            } catch (IOException e) {
                throw GenerationException.tool("vorlith: cannot read " + file + ": " + e.getMessage());
            }
            String key = "";
            List<Path> outputs = new ArrayList<>();
            for (String line : lines) {
                if (line.startsWith("key "))
                    key = line.substring(4);
                else if (line.startsWith("output "))
                    outputs.add(Path.of(line.substring(7)));
            }
            return Optional.of(new Stamp(key, outputs));
        }

        /** Whether every file the input wrote is still there. */
        boolean complete() {
            for (Path p : outputs)
                if (!Files.isRegularFile(p))
                    return false;
            return true;
        }
    }

    private static void create_directories(Path dir) throws GenerationException {
        try {
            Files.createDirectories(dir);
        } catch (IOException e) {
            throw GenerationException.tool("vorlith: cannot make the folder " + dir + ": " + e.getMessage());
        }
    }

    private static void delete(Path file) throws GenerationException {
        try {
            Files.deleteIfExists(file);
        } catch (IOException e) {
            throw GenerationException.tool("vorlith: cannot remove " + file + ": " + e.getMessage());
        }
    }

    /** Removes a folder and everything in it; one that is not there is fine. */
    private static void delete_tree(Path root) {
        if (!Files.exists(root))
            return;
        try (Stream<Path> files = Files.walk(root)) {
            for (Path p : files.sorted((a, b) -> b.getNameCount() - a.getNameCount()).toList())
                Files.deleteIfExists(p);
        } catch (IOException | UncheckedIOException e) {
            // scratch space of the plugin's own; the next run starts a new one
        }
    }
}
