package velmora.chordsmith.audio;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * FFmpeg as a child process, the decoder and encoder for every format javax.sound.sampled does
 * not know (MP3, AAC, FLAC, Ogg, ...). PCM goes through pipes, never through temporary files.
 * The program is "ffmpeg" on the PATH, or the one the system property chordsmith.ffmpeg names;
 * ffprobe is looked for beside it.
 */
final class Ffmpeg {
  /** What a person does about a missing FFmpeg, on the systems this is built for. */
  static final String INSTALL = "sudo apt install ffmpeg";
  /** The end of a child's error output kept for the message: bounded, however much it prints. */
  private static final int KEPT_ERROR_BYTES = 4096;

  private Ffmpeg() {}

  static String program() { return System.getProperty("chordsmith.ffmpeg", "ffmpeg"); }

  static String probeProgram() {
    String ffmpeg = program();
    int slash = ffmpeg.lastIndexOf('/');
    return slash < 0 ? "ffprobe" : ffmpeg.substring(0, slash + 1) + "ffprobe";
  }

  /** The common start of a command line: quiet but for errors, never waiting for keys. */
  static List<String> command(String... args) {
    List<String> command = new ArrayList<>(List.of(program(), "-hide_banner", "-loglevel", "error"));
    command.addAll(List.of(args));
    return command;
  }

  /**
   * Starts {@code command}; a missing program becomes a FileException that says, in one line,
   * what {@code purpose} needs and how to install it.
   */
  static Process start(ProcessBuilder command, String purpose) throws FileException {
    try {
      return command.start();
    } catch (IOException e) {
      throw new FileException(purpose + " needs FFmpeg, which is not installed (" + INSTALL + ")");
    }
  }

  /** Keeps the tail of a child's error output, read on a thread of its own so the child never blocks on it. */
  static final class ErrorTail {
    private final ByteArrayOutputStream kept = new ByteArrayOutputStream();
    private final Thread reader;

    ErrorTail(InputStream stderr) {
      reader = new Thread(() -> {
        byte[] buffer = new byte[1024];
        try (stderr) {
          for (int n; (n = stderr.read(buffer)) > 0; ) keep(buffer, n);
        } catch (IOException ignored) {
          // The child is gone; what was read is what there is.
        }
      }, "ffmpeg-stderr");
      reader.setDaemon(true);
      reader.start();
    }

    private synchronized void keep(byte[] buffer, int n) {
      kept.write(buffer, 0, n);
      if (kept.size() > 2 * KEPT_ERROR_BYTES) {
        byte[] all = kept.toByteArray();
        kept.reset();
        kept.write(all, all.length - KEPT_ERROR_BYTES, KEPT_ERROR_BYTES);
      }
    }

    /** The end of what the child printed; call once the child has ended (its error output then ends too). */
    String text() {
      try {
        reader.join();
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
      }
      synchronized (this) {
        return kept.toString(StandardCharsets.UTF_8).strip();
      }
    }

    /** The last line the child printed, once it has ended, or "" when it said nothing. */
    String lastLine() {
      String text = text();
      int newline = text.lastIndexOf('\n');
      return newline < 0 ? text : text.substring(newline + 1).strip();
    }
  }

  /**
   * Lets a child that failed finish saying why (it is ending already; after a few seconds it is
   * stopped), and returns its exit code.
   */
  static int end(Process p) {
    try {
      if (!p.waitFor(10, TimeUnit.SECONDS)) p.destroy();
    } catch (InterruptedException e) {
      Thread.currentThread().interrupt();
      p.destroy();
    }
    return waitFor(p);
  }

  /** Waits for a child that has been told to end; its exit code. */
  static int waitFor(Process p) {
    while (true) {
      try {
        return p.waitFor();
      } catch (InterruptedException e) {
        // Finish waiting: a half-dead child would hold on to the file.
        Thread.currentThread().interrupt();
      }
    }
  }

  /**
   * The length of the first audio stream of {@code file} in frames at {@code sampleRate}, as
   * ffprobe estimates it from the container (exact for some formats, a guess for others), or
   * -1 when it cannot say.
   */
  static long probeFrames(String file, int sampleRate) {
    List<String> command = List.of(probeProgram(), "-v", "error", "-select_streams", "a:0",
        "-show_entries", "stream=duration:format=duration", "-of", "default=noprint_wrappers=1:nokey=1", file);
    try {
      Process p = new ProcessBuilder(command).redirectError(ProcessBuilder.Redirect.DISCARD).start();
      String text;
      try (InputStream out = p.getInputStream()) {
        text = new String(out.readNBytes(4096), StandardCharsets.UTF_8);
      }
      if (waitFor(p) != 0) return -1;
      // The stream's duration, else the container's; "N/A" where neither knows.
      for (String line : text.split("\\R")) {
        try {
          double seconds = Double.parseDouble(line.strip());
          if (seconds > 0 && seconds < 1e7) return Math.round(seconds * sampleRate);
        } catch (NumberFormatException notThisLine) {
          // Try the next.
        }
      }
    } catch (IOException noProbe) {
      // Without ffprobe the length stays unknown; only the progress bar misses it.
    }
    return -1;
  }
}
