package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The launcher the build makes, build/chordsmith, run as a person runs it: from another folder. */
class LauncherTest {
  @TempDir Path dir;

  /** The launcher sits beside the library, whose folder the test JVM was given. */
  static Path launcher() {
    return Path.of(System.getProperty("java.library.path")).toAbsolutePath().resolve("chordsmith");
  }

  record Run(int code, byte[] out, String err) {
    String text() { return new String(out, StandardCharsets.UTF_8); }
  }

  /** Runs the launcher in {@code folder} with {@code args}, feeding it {@code stdin} (closed at its end). */
  static Run run(Path folder, InputStream stdin, String... args) throws Exception {
    List<String> command = new ArrayList<>(List.of(launcher().toString()));
    command.addAll(List.of(args));
    Process p = new ProcessBuilder(command).directory(folder.toFile()).start();
    CompletableFuture<Void> feed = CompletableFuture.runAsync(() -> {
      try (var in = p.getOutputStream()) {
        if (stdin != null) stdin.transferTo(in);
      } catch (IOException e) {
        // The tool stopped reading: its exit code tells why.
      }
    });
    CompletableFuture<byte[]> err = CompletableFuture.supplyAsync(() -> readAll(p.getErrorStream()));
    byte[] out = readAll(p.getInputStream());
    int code = p.waitFor();
    feed.join();
    return new Run(code, out, new String(err.join(), StandardCharsets.UTF_8));
  }

  static byte[] readAll(InputStream in) {
    try (in) {
      ByteArrayOutputStream bytes = new ByteArrayOutputStream();
      in.transferTo(bytes);
      return bytes.toByteArray();
    } catch (IOException e) {
      throw new UncheckedIOException(e);
    }
  }

  @Test
  void runsFromAnyFolderAndLeavesTheExampleInIt() throws Exception {
    Run version = run(dir, null, "--version");
    assertEquals(0, version.code, version.err);
    assertTrue(version.text().matches("chordsmith \\d+\\.\\d+\\.\\d+\\R"), version.text());

    Run player = run(dir, null, "play", "--help");
    assertEquals(0, player.code, player.err);
    assertTrue(player.text().startsWith("Usage: chordsmith play"), "play goes to the player");

    Run example = run(dir, null, "-q");
    assertEquals(0, example.code, example.err);
    Path folder = dir.resolve("chordsmith-example");
    for (String name : new String[] {"example-original.wav", "example-0.75x.wav", "example-spectrum.png"}) {
      assertTrue(Files.isRegularFile(folder.resolve(name)), name);
    }
  }
}
