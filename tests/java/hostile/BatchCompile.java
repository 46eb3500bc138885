// SPDX-License-Identifier: Apache-2.0
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import javax.tools.JavaCompiler;
import javax.tools.ToolProvider;

/**
 * Compiles each folder named on the command line on its own, in one JVM, with
 * {@code -Xlint:all} against the class path given first. Prints every
 * folder whose compilation fails or reports anything, with the report, and
 * exits with 1 when there is one.
 */
public final class BatchCompile {
    private BatchCompile() {
    }

    /**
     * Runs the batch.
     *
     * @param args the class path, then the folders
     */
    public static void main(String[] args) {
        JavaCompiler javac = ToolProvider.getSystemJavaCompiler();
        int failed = 0;
        for (int i = 1; i < args.length; i++) {
            File dir = new File(args[i]);
            File[] sources = dir.listFiles((d, name) -> name.endsWith(".java"));
            if (sources == null || sources.length == 0) {
                System.out.println(dir + ": no Java files");
                failed++;
                continue;
            }
            File classes = new File(dir, "classes");
            classes.mkdirs();
            List<String> options = new ArrayList<>(List.of("-Xlint:all", "-cp", args[0], "-d", classes.getPath()));
            for (File f : sources)
                options.add(f.getPath());
            ByteArrayOutputStream report = new ByteArrayOutputStream();
            int status = javac.run(null, report, report, options.toArray(new String[0]));
            if (status != 0 || report.size() != 0) {
                System.out.println("== " + dir + " (javac status " + status + ")");
                System.out.println(report.toString(StandardCharsets.UTF_8));
                failed++;
            }
        }
        System.out.println((args.length - 1 - failed) + " of " + (args.length - 1) + " folders compile");
        System.exit(failed == 0 ? 0 : 1);
    }
}
