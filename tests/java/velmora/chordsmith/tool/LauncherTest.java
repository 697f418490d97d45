package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
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
import javax.sound.sampled.AudioInputStream;
import javax.sound.sampled.AudioSystem;
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
    CompletableFuture<byte[]> out = CompletableFuture.supplyAsync(() -> readAll(p.getInputStream()));
    return finish(p, stdin, () -> out.join());
  }

  /** Feeds {@code stdin} to {@code p}, collects its error output, and waits for its output from {@code out}. */
  static Run finish(Process p, InputStream stdin, java.util.function.Supplier<byte[]> out) throws Exception {
    CompletableFuture<Void> feed = CompletableFuture.runAsync(() -> {
      try (var in = p.getOutputStream()) {
        if (stdin != null) stdin.transferTo(in);
      } catch (IOException e) {
        // The tool stopped reading: its exit code tells why.
      }
    });
    CompletableFuture<byte[]> err = CompletableFuture.supplyAsync(() -> readAll(p.getErrorStream()));
    byte[] bytes = out.get();
    int code = p.waitFor();
    feed.join();
    return new Run(code, bytes, new String(err.join(), StandardCharsets.UTF_8));
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

  @Test
  void pipesCarryAudioOnlyAndAnyFormatComesInThroughFfmpeg() throws Exception {
    // Two seconds of an MP3 on standard input, slowed to half, WAV on standard output.
    Process encode = new ProcessBuilder("ffmpeg", "-v", "error", "-f", "lavfi", "-i",
        "sine=frequency=440:duration=2", "-ac", "2", "-f", "mp3", "pipe:1").start();
    byte[] mp3 = readAll(encode.getInputStream());
    assertEquals(0, encode.waitFor());
    Run wav = run(dir, new ByteArrayInputStream(mp3), "-", "-s", "0.5", "-o", "-");
    assertEquals(0, wav.code, wav.err);
    AudioInputStream audio = AudioSystem.getAudioInputStream(new ByteArrayInputStream(wav.out));
    long frames = audio.readAllBytes().length / 4;
    // MP3 pads a little at its ends; the stretch is four seconds of it.
    assertEquals(4 * 44100, frames, 44100 / 10.0);
    assertTrue(wav.err.contains("Input:    standard input") && wav.err.contains("Output:   standard output (WAV)"),
        wav.err);
    // Other formats go out through FFmpeg too.
    Run flac = run(dir, new ByteArrayInputStream(mp3), "-", "-o", "-", "--format", "flac", "-q");
    assertEquals(0, flac.code, flac.err);
    assertEquals("fLaC", new String(flac.out, 0, 4, StandardCharsets.US_ASCII));
  }

  /**
   * An hour of 8 kHz mono, generated on the fly into standard input, stretched to a quarter of
   * its length through pipes under a 64 MB heap: memory does not grow with the recording. The
   * input is a 500 Hz tone with one second of silence twenty seconds before its end; the output
   * must be exactly a quarter as long, with the silence where it belongs. (The cheapest frame
   * geometry keeps the hour to seconds of work.)
   */
  @Test
  void anHourStreamsThroughInASmallHeap() throws Exception {
    int rate = 8000;
    long frames = 3600L * rate;
    long silenceFrom = 3580L * rate;
    // 500 Hz at 8 kHz repeats every 16 frames.
    short[] period = new short[16];
    for (int i = 0; i < 16; i++) period[i] = (short) Math.round(16000 * Math.sin(2 * Math.PI * i / 16));
    InputStream hour = new InputStream() {
      private final byte[] header = wavHeader(rate, frames);
      private long at = -header.length;

      @Override
      public int read() {
        byte[] one = new byte[1];
        return read(one, 0, 1) < 0 ? -1 : one[0] & 0xff;
      }

      @Override
      public int read(byte[] b, int off, int len) {
        if (at >= 2 * frames) return -1;
        int n = 0;
        for (; n < len && at < 2 * frames; n++, at++) {
          if (at < 0) {
            b[off + n] = header[(int) (at + header.length)];
            continue;
          }
          long frame = at / 2;
          boolean quiet = frame >= silenceFrom && frame < silenceFrom + rate;
          short s = quiet ? 0 : period[(int) (frame % 16)];
          b[off + n] = (byte) (at % 2 == 0 ? s : s >> 8);
        }
        return n;
      }
    };
    ProcessBuilder builder = new ProcessBuilder(launcher().toString(), "-", "-s", "4", "--frame-size", "256",
        "--oversampling", "2", "-o", "-", "-q").directory(dir.toFile());
    builder.environment().put("JAVA_OPTS", "-Xmx64m");
    Process p = builder.start();
    // Keep only the last ten seconds of the output.
    int keep = 10 * rate;
    short[] last = new short[keep];
    long[] count = {0};
    Run r = finish(p, hour, () -> {
      try (InputStream out = new java.io.BufferedInputStream(p.getInputStream(), 1 << 16)) {
        assertEquals(44, out.readNBytes(44).length);
        for (int lo; (lo = out.read()) >= 0; count[0]++) {
          last[(int) (count[0] % keep)] = (short) (lo | out.read() << 8);
        }
      } catch (java.io.IOException e) {
        throw new java.io.UncheckedIOException(e);
      }
      return new byte[0];
    });
    assertEquals(0, r.code, r.err);
    assertEquals(frames / 4, count[0]);
    // Output time t is input time 4t: the silence from 895 s, the tone around it.
    long tail = count[0] - keep;
    java.util.function.BiFunction<Double, Double, Double> rms = (from, to) -> {
      double sum = 0;
      long a = Math.round(from * rate) - tail;
      long b = Math.round(to * rate) - tail;
      for (long i = a; i < b; i++) {
        double s = last[(int) ((tail + i) % keep)];
        sum += s * s;
      }
      return Math.sqrt(sum / (b - a));
    };
    double tone = 16000 / Math.sqrt(2);
    assertEquals(tone, rms.apply(891.0, 894.5), tone * 0.1);
    assertTrue(rms.apply(895.05, 895.2) < tone * 0.01, "silence at 895 s");
    assertEquals(tone, rms.apply(896.0, 899.5), tone * 0.1);
  }

  static byte[] wavHeader(int rate, long frames) {
    java.nio.ByteBuffer h = java.nio.ByteBuffer.allocate(44).order(java.nio.ByteOrder.LITTLE_ENDIAN);
    h.put("RIFF".getBytes(StandardCharsets.US_ASCII)).putInt((int) (36 + 2 * frames));
    h.put("WAVEfmt ".getBytes(StandardCharsets.US_ASCII)).putInt(16).putShort((short) 1).putShort((short) 1);
    h.putInt(rate).putInt(2 * rate).putShort((short) 2).putShort((short) 16);
    h.put("data".getBytes(StandardCharsets.US_ASCII)).putInt((int) (2 * frames));
    return h.array();
  }
}
