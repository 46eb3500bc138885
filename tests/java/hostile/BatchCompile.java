// SPDX-License-Identifier: Apache-2.0
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import javax.tools.DocumentationTool;
import javax.tools.JavaCompiler;
import javax.tools.ToolProvider;

/**
 * Compiles each folder named on the command line on its own, in one JVM, with
 * {@code -Xlint:all} against the class path given first (after
 * {@code -javadoc}, which also documents each folder with
 * {@code -Xdoclint:all}). Prints every folder whose compilation or
 * documentation fails or reports anything, with the report, and exits with
 * 1 when there is one.
 */
public final class BatchCompile {
    private BatchCompile() {
    }

    /**
     * Runs the batch.
     *
     * @param args optionally -javadoc, the class path, then the folders
     */
    public static void main(String[] args) {
        JavaCompiler javac = ToolProvider.getSystemJavaCompiler();
        DocumentationTool javadoc = ToolProvider.getSystemDocumentationTool();
        boolean document = args.length > 0 && args[0].equals("-javadoc");
        int first = document ? 2 : 1;
        String classPath = args[first - 1];
        int failed = 0;
        for (int i = first; i < args.length; i++) {
            File dir = new File(args[i]);
            File[] sources = dir.listFiles((d, name) -> name.endsWith(".java"));
            if (sources == null || sources.length == 0) {
                System.out.println(dir + ": no Java files");
                failed++;
                continue;
            }
            File classes = new File(dir, "classes");
            classes.mkdirs();
            List<String> options = new ArrayList<>(List.of("-Xlint:all", "-cp", classPath, "-d", classes.getPath()));
            for (File f : sources)
                options.add(f.getPath());
            ByteArrayOutputStream report = new ByteArrayOutputStream();
            int status = javac.run(null, report, report, options.toArray(new String[0]));
            if (status != 0 || report.size() != 0) {
                System.out.println("== " + dir + " (javac status " + status + ")");
                System.out.println(report.toString(StandardCharsets.UTF_8));
                failed++;
                continue;
            }
            if (!document)
                continue;
            // -quiet leaves only what doclint reports.
            List<String> doc = new ArrayList<>(List.of("-quiet", "-Xdoclint:all", "-cp", classPath, "-d",
                    new File(dir, "doc").getPath()));
            for (File f : sources)
                doc.add(f.getPath());
            ByteArrayOutputStream docReport = new ByteArrayOutputStream();
            status = javadoc.run(null, docReport, docReport, doc.toArray(new String[0]));
            if (status != 0 || docReport.size() != 0) {
                System.out.println("== " + dir + " (javadoc status " + status + ")");
                System.out.println(docReport.toString(StandardCharsets.UTF_8));
                failed++;
            }
        }
        int folders = args.length - first;
        System.out.println((folders - failed) + " of " + folders + " folders compile"
                + (document ? " and document without a warning" : ""));
        System.exit(failed == 0 ? 0 : 1);
    }
}
