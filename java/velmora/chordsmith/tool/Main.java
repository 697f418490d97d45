package velmora.chordsmith.tool;

import java.io.IOException;
import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.function.Supplier;
import javax.imageio.ImageIO;
import velmora.chordsmith.VoiceFilter;
import velmora.chordsmith.audio.AtomicOutput;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.ExampleSong;
import velmora.chordsmith.audio.FileException;
import velmora.chordsmith.engine.Engine;
import velmora.chordsmith.engine.NativeEngine;
import velmora.chordsmith.engine.StretchPlan;
import velmora.chordsmith.engine.Stretcher;

/**
 * The command-line tool: stretches a recording through the native engine, or makes and stretches
 * an example when given no input. See {@link Options#USAGE}.
 *
 * <p>{@link #run} does all the work and returns the exit code, printing results to {@code out}
 * and messages, the progress bar included, to {@code err}; it never throws.
 */
public final class Main {
  static final String NAME = "chordsmith";
  /** Files longer than this get a progress bar (on a terminal). */
  static final double PROGRESS_SECONDS = 5;

  private Main() {}

  public static void main(String[] args) {
    System.exit(run(args, System.out, System.err));
  }

  static int run(String[] args, PrintStream out, PrintStream err) {
    return run(args, out, err, NativeEngine::new);
  }

  /** {@link #run(String[], PrintStream, PrintStream)} with another engine, for tests. */
  static int run(String[] args, PrintStream out, PrintStream err, Supplier<Engine> engines) {
    // The picture is drawn off-screen; never look for a display.
    System.setProperty("java.awt.headless", "true");
    try {
      Options o = Options.parse(args);
      if (o.help) {
        out.println(Options.USAGE);
        return 0;
      }
      if (o.version) {
        out.println(NAME + " " + version());
        return 0;
      }
      // The frame geometry must suit the speed: find out before any file is read or made.
      o.checkGeometry();
      if (o.input == null) {
        example(o, out, err, engines);
      } else {
        file(o, out, err, engines);
      }
      return 0;
    } catch (ToolException e) {
      err.println(NAME + ": " + e.getMessage());
      if (e.exitCode == ToolException.USAGE) err.println("Try --help for the options.");
      return e.exitCode;
    } catch (FileException e) {
      err.println(NAME + ": " + e.getMessage());
      return ToolException.FAILED;
    } catch (LinkageError e) {
      err.println(NAME + ": the native library libchordsmith.so is missing or incomplete (" + e.getMessage()
          + "); run java with -Djava.library.path=<the folder that holds libchordsmith.so>");
      return ToolException.FAILED;
    } catch (OutOfMemoryError e) {
      err.println(NAME + ": out of memory: give Java more with -Xmx (for example java -Xmx4g ...)");
      return ToolException.FAILED;
    } catch (RuntimeException | Error e) {
      err.println(NAME + ": internal error: " + e);
      return ToolException.FAILED;
    }
  }

  /** Stretches the file named on the command line. */
  private static void file(Options o, PrintStream out, PrintStream err, Supplier<Engine> engines)
      throws ToolException, FileException {
    Audio input = Audio.read(o.input);
    Path target = o.output != null ? o.output : o.defaultOutput();
    refuseToOverwrite(o.input, target);
    if (o.spectrum != null) {
      refuseToOverwrite(o.input, o.spectrum);
      if (o.spectrum.toAbsolutePath().normalize().equals(target.toAbsolutePath().normalize())) {
        throw ToolException.usage("the spectrum picture and the output WAV cannot both be " + target);
      }
    }
    try (AtomicOutput wav = AtomicOutput.open(target);
         AtomicOutput png = o.spectrum == null ? null : AtomicOutput.open(o.spectrum)) {
      Result r = stretch(o, input, wav, png, o.input.getFileName().toString(), err, engines);
      wav.commit();
      if (png != null) png.commit();
      summary(out, o, input, o.input.toString(), r, target, o.spectrum);
    }
  }

  /** Makes the example, stretches it and leaves the three files in a folder. */
  private static void example(Options o, PrintStream out, PrintStream err, Supplier<Engine> engines)
      throws ToolException, FileException {
    Path folder = o.output != null ? o.output : Options.DEFAULT_EXAMPLE_FOLDER;
    if (folder.toString().toLowerCase(Locale.ROOT).endsWith(".wav")) {
      throw ToolException.usage(
          "with no input file, -o names the example's folder, not a WAV file: " + folder);
    }
    try {
      Files.createDirectories(folder);
    } catch (IOException e) {
      throw ToolException.failed("cannot create the folder " + folder + ": " + FileException.reason(e));
    }
    Path original = folder.resolve("example-original.wav");
    Path slowed = folder.resolve("example-" + Options.formatSpeed(o.speed) + "x.wav");
    Path picture = o.spectrum != null ? o.spectrum : folder.resolve("example-spectrum.png");
    Audio song = ExampleSong.make();
    try (AtomicOutput originalOut = AtomicOutput.open(original);
         AtomicOutput wav = AtomicOutput.open(slowed);
         AtomicOutput png = AtomicOutput.open(picture)) {
      try {
        song.writeWav(originalOut.stream());
      } catch (IOException e) {
        throw ToolException.failed("cannot write " + original + ": " + FileException.reason(e));
      }
      Result r = stretch(o, song, wav, png, slowed.getFileName().toString(), err, engines);
      originalOut.commit();
      wav.commit();
      png.commit();
      summary(out, o, song, "the example song (" + original + ")", r, slowed, picture);
    }
    out.println();
    out.println("Listen to " + original + " and " + slowed + "; look at " + picture + ".");
    if (o.voiceAmount == 0) out.println("The voice sits in the centre: add --remove-voice 1 to hear it go.");
  }

  private static void refuseToOverwrite(Path input, Path output) throws ToolException {
    try {
      if (Files.exists(output) && Files.isSameFile(input, output)) {
        throw ToolException.usage("the output " + output + " is the input file: choose another name with -o");
      }
    } catch (IOException e) {
      throw ToolException.failed("cannot check " + output + ": " + FileException.reason(e));
    }
  }

  /** What a stretch measured, for the summary. */
  private record Result(StretchPlan plan, float peak, double seconds, List<String> strongest) {}

  private static Result stretch(Options o, Audio input, AtomicOutput wav, AtomicOutput png, String title,
                                PrintStream err, Supplier<Engine> engines)
      throws ToolException, FileException {
    StretchPlan plan = StretchPlan.of(o.frameSize, o.overSampling, o.speed, input.frames);
    Engine engine = engines.get();
    VoiceFilter voice = o.voiceFilter(input.sampleRate, input.channels);
    for (String note : o.notes(input.sampleRate, input.channels, voice)) {
      err.println(NAME + ": note: " + note);
    }
    Stretcher.configure(engine, plan, input.sampleRate, input.channels, o.mix(voice));
    // Redrawing in place only makes sense on a terminal; in a log it would pile up.
    boolean showProgress = !o.quiet && input.seconds() > PROGRESS_SECONDS && stderrIsTerminal();
    ProgressBar bar = new ProgressBar(err, "Stretching", input.frames, showProgress);
    Stretcher stretcher = new Stretcher(engine, input, plan, bar);
    long start = System.nanoTime();
    try {
      Audio.writeWav(stretcher.output(), input.format(), plan.outputFrames, wav.stream());
    } catch (IOException e) {
      throw ToolException.failed("cannot write " + wav.target + ": " + FileException.reason(e));
    } finally {
      bar.finish();
    }
    double elapsed = (System.nanoTime() - start) / 1e9;
    double outSeconds = (double) plan.outputFrames / input.sampleRate;
    if (png != null) {
      String heading =
          title + "  -  speed " + Options.formatSpeed(plan.realisedSpeed()) + "  -  notes C1 to B6";
      try {
        var image = SpectrumPicture.render(stretcher.columns, stretcher.columnTimes, outSeconds, heading);
        ImageIO.setUseCache(false);  // encode in memory, not through a file in the temp folder
        ImageIO.write(image, "png", png.stream());
      } catch (IOException e) {
        throw ToolException.failed("cannot write " + png.target + ": " + FileException.reason(e));
      }
    }
    List<String> strongest =
        SpectrumPicture.strongestNotes(stretcher.columns, stretcher.columnTimes, outSeconds, 5);
    return new Result(plan, stretcher.peak(), elapsed, strongest);
  }

  private static void summary(
      PrintStream out, Options o, Audio in, String inName, Result r, Path wav, Path png) {
    StretchPlan p = r.plan;
    double inSeconds = in.seconds();
    double outSeconds = (double) p.outputFrames / in.sampleRate;
    out.printf(Locale.ROOT, "Input:    %s, %s, %s, %d Hz%n", inName, duration(inSeconds),
        in.channels == 2 ? "stereo" : "mono", in.sampleRate);
    out.printf(Locale.ROOT, "Output:   %s, %s%n", wav, duration(outSeconds));
    out.printf(Locale.ROOT,
        "Speed:    %s (realised %.4f: hops of %d in, %d out; frame %d, oversampling %d)%n",
        Options.formatSpeed(o.speed), p.realisedSpeed(), p.stepIn, p.stepOut, p.frameSize, p.overSampling);
    out.printf(Locale.ROOT, "Mix:      %s%n", mix(o, in.channels));
    double peakDb = 20 * Math.log10(Math.max(r.peak, 1e-9f));
    if (r.peak > 1) {
      out.printf(Locale.ROOT,
          "Peak:     %+.1f dBFS: above full scale, the limiter held it; try --preamp %.0f%n", peakDb,
          -Math.ceil(peakDb));
    } else {
      out.printf(Locale.ROOT, "Peak:     %.1f dBFS%n", peakDb);
    }
    String notes = r.strongest.isEmpty() ? "none (silence)" : "strongest " + String.join(", ", r.strongest);
    out.printf(Locale.ROOT, "Notes:    %s%n", notes);
    if (png != null) out.printf(Locale.ROOT, "Spectrum: %s%n", png);
    double realtime = outSeconds / Math.max(r.seconds, 1e-6);
    out.printf(Locale.ROOT, "Time:     %.2f s, %.1fx realtime%n", r.seconds, realtime);
  }

  private static String mix(Options o, int channels) {
    List<String> parts = new ArrayList<>();
    parts.add(String.format(Locale.ROOT, "preamp %+.1f dB", o.preampDb));
    if (channels == 2) {
      if (o.mono) {
        parts.add("folded to mono");
      } else if (o.balance != 0) {
        parts.add("balance " + o.balance);
      }
      if (o.voiceAmount > 0) {
        parts.add(String.format(Locale.ROOT, "voice removal %.2f (%.0f to %.0f Hz)", o.voiceAmount,
            o.voiceLowHz, o.voiceHighHz));
      }
    }
    parts.add("equaliser " + (o.eq == null ? "off" : o.eq.describe()));
    return String.join(", ", parts);
  }

  /** The version in the jar's manifest; "(development build)" when run from loose classes. */
  static String version() {
    String v = Main.class.getPackage().getImplementationVersion();
    return v != null ? v : "(development build)";
  }

  /**
   * Whether standard error is a terminal. The launcher finds out and says so in a property;
   * without it, a console (standard input and output both terminals) is the best guess.
   */
  static boolean stderrIsTerminal() {
    String told = System.getProperty("chordsmith.stderr.terminal");
    return told != null ? Boolean.parseBoolean(told) : System.console() != null;
  }

  /** 83.4 seconds as "1:23.4 (83.4 s)". */
  static String duration(double seconds) {
    return String.format(Locale.ROOT, "%d:%04.1f (%.2f s)", (long) (seconds / 60), seconds % 60, seconds);
  }
}
