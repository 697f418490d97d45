package velmora.chordsmith.player;

import java.awt.GraphicsEnvironment;
import java.nio.file.Path;
import javax.swing.SwingUtilities;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.ExampleSong;
import velmora.chordsmith.audio.FileException;
import velmora.chordsmith.engine.NativeEngine;

/** {@code chordsmith play [FILE]}: the practice player's window, on a recording or the example song. */
public final class PlayerApp {
  static final String USAGE = String.join("\n",
      "Usage: chordsmith play [options] [FILE]",
      "",
      "Opens the practice player on FILE, or on the built-in example song.",
      "",
      "      --buffer MS   the sound device's buffer in milliseconds, 10 to 500; default 50",
      "      --silent      play into a silent sink that keeps real time, even with a sound device",
      "  -h, --help      this help");
  static final int DEFAULT_BUFFER_MS = 50;
  /** The player holds a recording in memory, to seek anywhere in it at once. */
  static final String TOO_LONG = " is too long to hold in memory: give Java more (JAVA_TOOL_OPTIONS=-Xmx4g)";

  private PlayerApp() {}

  public static void main(String[] args) {
    int code = run(args);
    if (code != 0) System.exit(code);
  }

  static int run(String[] args) {
    Path file = null;
    boolean silent = false;
    int bufferMs = DEFAULT_BUFFER_MS;
    for (int i = 0; i < args.length; i++) {
      String a = args[i];
      switch (a) {
        case "-h", "--help" -> {
          System.out.println(USAGE);
          return 0;
        }
        case "--silent" -> silent = true;
        case "--buffer" -> {
          if (i + 1 == args.length) return usage("--buffer needs a value in milliseconds");
          try {
            bufferMs = Integer.parseInt(args[++i]);
          } catch (NumberFormatException e) {
            return usage("--buffer " + args[i] + " is not a whole number of milliseconds");
          }
          if (bufferMs < 10 || bufferMs > 500) {
            return usage("--buffer " + bufferMs + " is out of range: use 10 to 500");
          }
        }
        default -> {
          if (a.startsWith("-") && !a.equals("-")) return usage("unknown option " + a);
          if (file != null) return usage("one recording at a time: " + file + " and " + a);
          file = Path.of(a);
        }
      }
    }
    if (GraphicsEnvironment.isHeadless()) {
      System.err.println("chordsmith: the player needs a display (none found: is DISPLAY set?)");
      return 1;
    }
    Audio audio;
    String title;
    try {
      audio = file == null ? ExampleSong.make() : Audio.read(file);
      title = file == null ? "The example song" : file.getFileName().toString();
    } catch (FileException e) {
      System.err.println("chordsmith: " + e.getMessage());
      return 1;
    } catch (OutOfMemoryError e) {
      System.err.println("chordsmith: " + file + TOO_LONG);
      return 1;
    }
    NativeEngine engine;
    try {
      engine = new NativeEngine();
    } catch (LinkageError e) {
      System.err.println("chordsmith: the native library libchordsmith.so is missing or incomplete ("
          + e.getMessage() + ")");
      return 1;
    }
    boolean noSound = silent;
    int buffer = bufferMs;
    Sink.Factory sinks = (rate, channels) -> noSound
        ? new SilentSink(rate, rate * buffer / 1000, "Silent (--silent): playing in real time, no sound")
        : LineSink.openOrSilent(rate, channels, buffer);
    Player player = new Player(engine, sinks);
    player.start();
    SwingUtilities.invokeLater(() -> {
      Theme.install();
      new PlayerWindow(player).show(audio, title);
    });
    return 0;
  }

  private static int usage(String message) {
    System.err.println("chordsmith: " + message);
    System.err.println("Try chordsmith play --help.");
    return 2;
  }
}
