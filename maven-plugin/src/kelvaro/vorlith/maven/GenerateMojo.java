// SPDX-License-Identifier: Apache-2.0
package kelvaro.vorlith.maven;

import java.io.File;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.project.MavenProject;

/**
 * The goal {@code vorlith:generate}, bound to {@code generate-sources}: runs
 * vorlith on every {@code .x} file of the source folder that changed
 * (see {@link Generator}), writes the Java into the output folder as a tree
 * of package folders, and adds that folder to the project's source roots.
 *
 * <p>The fields are Maven's parameters, set by Maven as the plugin's
 * descriptor ({@code META-INF/maven/plugin.xml}) says; their names, types
 * and defaults there must match these.
 */
public class GenerateMojo extends AbstractMojo {

    /** The folder that holds the {@code .x} files; default {@code ${basedir}/src/main/x}. */
    private File sourceDirectory;

    /** Which files of the source folder are inputs; default {@code **}{@code /*.x}. */
    private List<String> includes;

    /** Which of those are not; default none. */
    private List<String> excludes;

    /** Where the Java goes; default {@code ${project.build.directory}/generated-sources/vorlith}. */
    private File outputDirectory;

    /** Where the stamps of the up-to-date check go; default {@code ${project.build.directory}/vorlith}. */
    private File stampDirectory;

    /** The Java package of every generated class ({@code --package}); default: the input's own. */
    private String packageName;

    /** The idiomatic Java classes ({@code --idiomatic}). */
    private boolean idiomatic;

    /** Asynchronous client methods too ({@code --async}). */
    private boolean async;

    /** The input goes through the C preprocessor first ({@code -p}). */
    private boolean preprocess;

    /** The case rule of generated names turned around ({@code -i}). */
    private boolean reverseCase;

    /** More options for vorlith, put before the input file's name. */
    private List<String> arguments;

    /** Variables added to vorlith's environment, such as {@code SKARDO_CPP}. */
    private Map<String, String> environmentVariables;

    /** The vorlith program: a path, or a name looked up on PATH; default {@code vorlith}. */
    private String executable;

    /** Skips the goal; property {@code vorlith.skip}. */
    private boolean skip;

    /** The project, whose source roots get the output folder. */
    private MavenProject project;

    /** Made by Maven, which then sets the parameters. */
    public GenerateMojo() {
    }

    /**
     * Makes the sources that are out of date and adds the output folder to
     * the project's source roots.
     *
     * @throws MojoFailureException for an error in an input file, shown with
     *         its file and line
     * @throws MojoExecutionException when vorlith cannot be found or run,
     *         refuses its options, or a file cannot be written
     */
    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("vorlith: skipped (vorlith.skip)");
            return;
        }
        String program = executable == null || executable.isBlank() ? "vorlith" : executable.strip();
        Generator.Request request = new Generator.Request(sourceDirectory.toPath(),
                list_or(includes, List.of("**/*.x")), list_or(excludes, List.of()), outputDirectory.toPath(),
                stampDirectory.toPath(), options(), environmentVariables == null ? Map.of() : environmentVariables,
                preprocess);
        Generator.Summary summary;
        try {
            summary = new Generator(() -> Vorlith.find(program, System.getenv("PATH")), request, getLog()::warn,
                    getLog()::debug).run();
        } catch (GenerationException e) {
            Optional<Diagnostic> d = e.diagnostic();
            if (d.isPresent()) {
                getLog().error(d.get().toString());
                if (!d.get().sourceLine().isEmpty())
                    getLog().error("    " + d.get().sourceLine());
                throw new MojoFailureException("vorlith: " + d.get());
            }
            throw new MojoExecutionException(e.getMessage(), e);
        }
        if (summary.inputs() == 0) {
            getLog().info("vorlith: no input files in " + sourceDirectory);
            return;
        }
        getLog().info("vorlith: " + summary.generated() + " of " + summary.inputs() + " input files generated, "
                + (summary.inputs() - summary.generated()) + " up to date");
        project.addCompileSourceRoot(outputDirectory.toPath().toAbsolutePath().normalize().toString());
    }

    /** The option line, the same for every input; the output folder stands where vorlith's scratch one goes. */
    private List<String> options() {
        List<String> line = new ArrayList<>();
        line.add("--quiet");
        line.add("--output-dir");
        line.add(outputDirectory.toPath().toAbsolutePath().normalize().toString());
        if (packageName != null && !packageName.isBlank()) {
            line.add("--package");
            line.add(packageName.strip());
        }
        if (idiomatic)
            line.add("--idiomatic");
        if (async)
            line.add("--async");
        if (preprocess)
            line.add("-p");
        if (reverseCase)
            line.add("-i");
        if (arguments != null)
            line.addAll(arguments);
        return line;
    }

    private static List<String> list_or(List<String> list, List<String> otherwise) {
        return list == null || list.isEmpty() ? otherwise : list;
    }
}
