package velmora.chordsmith.tool;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
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
import velmora.chordsmith.audio.AudioInput;
import velmora.chordsmith.audio.AudioWriter;
import velmora.chordsmith.audio.ExampleSong;
import velmora.chordsmith.audio.FileException;
import velmora.chordsmith.audio.OutputFormat;
import velmora.chordsmith.audio.Passage;
import velmora.chordsmith.audio.PcmSource;
import velmora.chordsmith.audio.StereoImage;
import velmora.chordsmith.engine.Engine;
import velmora.chordsmith.engine.NativeEngine;
import velmora.chordsmith.engine.StretchJob;
import velmora.chordsmith.engine.StretchPlan;
import velmora.chordsmith.engine.Stretcher;

/**
 * The command-line tool: stretches a recording through the native engine, or makes and stretches
 * an example when given no input. See {@link Options#USAGE}.
 *
 * <p>The recording streams through: read, processed and written block by block, so memory stays
 * the same at any length. {@link #run} does all the work and returns the exit code, printing the
 * summary to {@code out} (to {@code err} when the audio goes to {@code out}) and messages, the
 * progress bar included, to {@code err}; it never throws.
 */
public final class Main {
  static final String NAME = "chordsmith";
  /** Files longer than this get a progress bar (on a terminal). */
  static final double PROGRESS_SECONDS = 5;
  /** Where loops join, the end of the passage fades into what leads into its start over this long. */
  static final double CROSSFADE_SECONDS = 0.010;
  /** Input before --start that primes the engine, in analysis frames: those overlapping the start and more. */
  static final int PRIMING_FRAMES = 2;
  /** The engine's limiter leaves levels up to this alone. */
  static final float LIMITER_KNEE = 0.95f;
  /** Where the headroom advice puts the peak, in dBFS. */
  static final double HEADROOM_DBFS = -1;
  /** Peaks below this are reported as silence, in dBFS. */
  static final double SILENT_DBFS = -120;

  private Main() {}

  public static void main(String[] args) {
    System.exit(run(args, System.in, System.out, System.err, NativeEngine::new));
  }

  static int run(String[] args, PrintStream out, PrintStream err) {
    return run(args, System.in, out, err, NativeEngine::new);
  }

  /** {@link #run(String[], PrintStream, PrintStream)} with another engine, for tests. */
  static int run(String[] args, PrintStream out, PrintStream err, Supplier<Engine> engines) {
    return run(args, System.in, out, err, engines);
  }

  /** The tool with {@code in} as standard input. */
  static int run(String[] args, InputStream in, PrintStream out, PrintStream err, Supplier<Engine> engines) {
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
      if (o.input == null && !o.stdin) {
        example(o, out, err, engines);
      } else {
        file(o, in, out, err, engines);
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
      err.println(NAME + ": out of memory: give Java more with -Xmx (for example java -Xmx1g ...)");
      return ToolException.FAILED;
    } catch (RuntimeException | Error e) {
      err.println(NAME + ": internal error: " + e);
      return ToolException.FAILED;
    }
  }

  /** Where a stretch's audio goes: opened afresh for each run, since --headroom fit may run twice. */
  private interface Destination {
    AudioWriter open(int sampleRate, int channels) throws FileException;
  }

  /** Stretches the recording named on the command line, or standard input. */
  private static void file(Options o, InputStream stdin, PrintStream out, PrintStream err,
                           Supplier<Engine> engines) throws ToolException, FileException {
    OutputFormat format = o.outputFormat();
    Path target = o.stdout ? null : o.output != null ? o.output : o.defaultOutput(format);
    if (target != null && o.input != null) refuseToOverwrite(o.input, target);
    if (o.spectrum != null) {
      if (o.input != null) refuseToOverwrite(o.input, o.spectrum);
      if (target != null && o.spectrum.toAbsolutePath().normalize().equals(target.toAbsolutePath().normalize())) {
        throw ToolException.usage("the spectrum picture and the output cannot both be " + target);
      }
    }
    int bits = format.lossless ? o.bits : 16;
    Destination destination = o.stdout
        ? (rate, channels) -> AudioWriter.toStream(checked(out), "standard output", format, rate, channels, bits,
            -1)
        : (rate, channels) -> AudioWriter.toFile(target, format, rate, channels, bits);
    String outName = o.stdout ? "standard output (" + format.label + ")" : target.toString();
    Passage.Opener again = o.stdin ? null : () -> AudioInput.open(o.input);
    AudioInput first = o.stdin ? AudioInput.open(stdin, "standard input") : AudioInput.open(o.input);
    String title = o.stdin ? "standard input" : o.input.getFileName().toString();
    try (AtomicOutput png = o.spectrum == null ? null : AtomicOutput.open(o.spectrum)) {
      Result r = stretch(o, first, first.announcedFrames(), again, destination, format, png, title, err, engines);
      summary(o.stdout ? err : out, o, r, first.name, outName, o.spectrum);
    } finally {
      first.close();
    }
  }

  /** Makes the example, stretches it and leaves the three files in a folder. */
  private static void example(Options o, PrintStream out, PrintStream err, Supplier<Engine> engines)
      throws ToolException, FileException {
    if (o.stdout) {
      throw ToolException.usage("with no input file, -o names the example's folder, not standard output");
    }
    Path folder = o.output != null ? o.output : Options.DEFAULT_EXAMPLE_FOLDER;
    if (OutputFormat.forFileName(folder.getFileName() == null ? "" : folder.getFileName().toString()) != null) {
      throw ToolException.usage("with no input file, -o names the example's folder, not an audio file: " + folder);
    }
    try {
      Files.createDirectories(folder);
    } catch (IOException e) {
      throw ToolException.failed("cannot create the folder " + folder + ": " + FileException.reason(e));
    }
    OutputFormat format = o.format != null ? o.format : OutputFormat.WAV;
    int bits = format.lossless ? o.bits : 16;
    Path original = folder.resolve("example-original.wav");
    Path slowed = folder.resolve("example-" + Options.formatSpeed(o.speed) + "x." + format.extension());
    Path picture = o.spectrum != null ? o.spectrum : folder.resolve("example-spectrum.png");
    Audio song = ExampleSong.make();
    try (AudioWriter originalOut =
             AudioWriter.toFile(original, OutputFormat.WAV, song.sampleRate, song.channels, 16);
         AtomicOutput png = AtomicOutput.open(picture)) {
      originalOut.write(song.samples, 0, (int) song.frames);
      Result r = stretch(o, song.source(), song.frames, song::source,
          (rate, channels) -> AudioWriter.toFile(slowed, format, rate, channels, bits), format, png,
          slowed.getFileName().toString(), err, engines);
      originalOut.finish();
      summary(out, o, r, "the example song (" + original + ")", slowed.toString(), picture);
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

  /** What a stretch measured and decided, for the summary. */
  private record Result(StretchPlan plan, int sampleRate, int channels, long recordingFrames, boolean exactLength,
                        String layout, long passageFrames, float peak, double preampDb, double firstPeakDb,
                        long outputFrames, double seconds, List<String> strongest, StereoImage in,
                        StereoImage out) {}

  /**
   * Stretches {@code first} (a recording just opened, {@code announced} frames long or -1 when
   * unknown; {@code again} opens it anew for further passes, or is null when it can be read only
   * once) into {@code destination}, drawing the spectrum into {@code png} when not null. With
   * --headroom fit, a run whose limiter had to act is thrown away and run again at the preamp
   * that keeps the peak at -1 dBFS.
   */
  private static Result stretch(Options o, PcmSource first, long announced, Passage.Opener again,
                                Destination destination, OutputFormat format, AtomicOutput png, String title,
                                PrintStream err, Supplier<Engine> engines) throws ToolException, FileException {
    int rate = first.sampleRate();
    int channels = first.channels();
    StretchPlan plan = StretchPlan.of(o.frameSize, o.overSampling, o.speed);
    Engine engine = engines.get();
    VoiceFilter voice = o.voiceFilter(rate, channels);
    for (String note : o.notes(rate, channels, voice, format)) err.println(NAME + ": note: " + note);
    AudioInput recording = first instanceof AudioInput a ? a : null;
    String name = recording != null ? recording.name : title;
    if (recording != null && recording.downmixedLayout != null) {
      err.println(NAME + ": note: " + name + " is " + recording.downmixedLayout
          + ": folded to stereo (centre and surrounds at -3 dB, LFE dropped)");
    }
    long start = Math.round(o.startSeconds * rate);
    long end = o.endSeconds < 0 ? -1 : Math.round(o.endSeconds * rate);
    long passageFrames = end >= 0 ? end - start : announced >= 0 ? announced - start : -1;
    checkWavSize(o, format, plan, passageFrames, channels);

    long began = System.nanoTime();
    double preampDb = o.preampDb;
    double firstPeakDb = Double.NaN;
    Run run = runOnce(o, plan, engine, first, again, start, end, passageFrames, destination, voice, preampDb, err);
    if (o.headroom == Options.Headroom.FIT && run.result.peak() > LIMITER_KNEE) {
      // Thrown away: run again with the peak where the advice puts it.
      run.writer.close();
      firstPeakDb = 20 * Math.log10(run.result.peak());
      preampDb = advisedPreamp(preampDb, firstPeakDb);
      run = runOnce(o, plan, engine, again.open(), again, start, end, passageFrames, destination, voice, preampDb,
          err);
    }
    try (AudioWriter writer = run.writer) {
      long passage = run.result.inputFrames() / o.loops;
      if (passage == 0) {
        throw new FileException(start > 0 ? name + " has nothing from " + Options.clock(o.startSeconds) + " on"
            : name + " contains no audio");
      }
      if (recording != null && recording.truncated()) {
        err.println(NAME + ": warning: " + name + " ends after "
            + Options.clock(recording.framesRead() / (double) rate) + ", before the "
            + Options.clock(announced / (double) rate) + " its header announces; processed what is there");
      }
      if (recording != null && recording.downmixClipped() > 0) {
        err.println(NAME + ": warning: folding to stereo held " + recording.downmixClipped()
            + " samples at full scale");
      }
      if (end >= 0 && start + passage < end) {
        err.println(NAME + ": note: the recording ends at " + Options.clock((start + passage) / (double) rate)
            + ", before --end " + Options.clock(o.endSeconds) + ": the passage stops there");
      }
      writer.finish();
    }
    double seconds = (System.nanoTime() - began) / 1e9;
    double outSeconds = (double) run.result.outputFrames() / rate;
    if (png != null) {
      String heading = title + "  -  speed " + Options.formatSpeed(plan.realisedSpeed()) + "  -  notes C1 to B6";
      try {
        var image = SpectrumPicture.render(run.readings, outSeconds, heading);
        ImageIO.setUseCache(false);  // encode in memory, not through a file in the temp folder
        ImageIO.write(image, "png", png.stream());
      } catch (IOException e) {
        throw ToolException.failed("cannot write " + png.target + ": " + FileException.reason(e));
      }
      png.commit();
    }
    // Read to its end, the recording's length is known; otherwise what it announced.
    boolean readToEnd = recording != null && end < 0;
    long recordingFrames = readToEnd ? recording.framesRead() : announced;
    boolean exact = recording == null || readToEnd || recording.announcedExactly();
    String layout = recording == null ? null : recording.downmixedLayout;
    return new Result(plan, rate, channels, recordingFrames, exact, layout, run.result.inputFrames() / o.loops,
        run.result.peak(), preampDb, firstPeakDb, run.result.outputFrames(), seconds,
        SpectrumPicture.strongestNotes(run.readings, 5), run.in, run.out);
  }

  /** A WAV holds at most 4 GB: refuse before the work when the output is known to need more. */
  private static void checkWavSize(Options o, OutputFormat format, StretchPlan plan, long passageFrames,
                                   int channels) throws ToolException {
    if (format != OutputFormat.WAV || o.stdout || passageFrames <= 0) return;
    long bytes = plan.outputFrames(passageFrames * o.loops) * channels * (o.bits / 8);
    if (bytes > 0xFFFFFFFFL - 36) {
      throw ToolException.usage(String.format(Locale.ROOT,
          "the output would be %.1f GB, more than the 4 GB a WAV file holds: write FLAC instead (-o NAME.flac)",
          bytes / 1e9));
    }
  }

  /**
   * One run through the engine: its result, the readings, the writer, not yet finished, and the
   * stereo image of the passage and of the output.
   */
  private record Run(StretchJob.Result result, SpectrumRecorder readings, AudioWriter writer, StereoImage in,
                     StereoImage out) {}

  private static Run runOnce(Options o, StretchPlan plan, Engine engine, PcmSource first, Passage.Opener again,
                             long start, long end, long passageFrames, Destination destination, VoiceFilter voice,
                             double preampDb, PrintStream err) throws FileException {
    int rate = first.sampleRate();
    int channels = first.channels();
    Stretcher.configure(engine, plan, rate, channels, o.mix(voice, preampDb));
    int crossfade = (int) Math.round(CROSSFADE_SECONDS * rate);
    SpectrumRecorder readings = new SpectrumRecorder();
    AudioWriter writer = destination.open(rate, channels);
    try (Passage passage = new Passage(first, again, start, end, o.loops, PRIMING_FRAMES * plan.frameSize,
        plan.stepIn, crossfade)) {
      long total = passageFrames > 0 ? passage.lead() + o.loops * passageFrames : 0;
      // Redrawing in place only makes sense on a terminal; in a log it would pile up.
      boolean showProgress = !o.quiet && stderrIsTerminal() && (total == 0 || total > PROGRESS_SECONDS * rate);
      ProgressBar bar = new ProgressBar(err, "Stretching", total, rate, showProgress, System::nanoTime);
      StereoImage in = new StereoImage();
      StereoImage out = new StereoImage();
      PcmSource source = channels == 2 ? in.measuring(passage, passage.lead()) : passage;
      StretchJob.Output output = channels == 2 ? (samples, offset, frames) -> {
        out.add(samples, offset, frames);
        writer.write(samples, offset, frames);
      } : writer::write;
      try {
        StretchJob.Result result = StretchJob.run(engine, plan, source, passage.lead(), output, readings, bar);
        return new Run(result, readings, writer, in, out);
      } finally {
        bar.finish();
      }
    } catch (FileException | RuntimeException | Error e) {
      writer.close();
      throw e;
    }
  }

  /** The preamp in dB that would have put a peak of {@code peakDb} at -1 dBFS, rounded down to 0.1 dB. */
  static double advisedPreamp(double preampDb, double peakDb) {
    // The peak is measured after the preamp and before the limiter, so it moves with the preamp dB for dB.
    double exact = preampDb + HEADROOM_DBFS - peakDb;
    return Math.max(-24, Math.floor(exact * 10 + 1e-9) / 10);
  }

  /** A stream for audio that fails loudly where a PrintStream would only note the error (a closed pipe). */
  private static OutputStream checked(PrintStream out) {
    return new OutputStream() {
      @Override
      public void write(int b) throws IOException {
        out.write(b);
        check();
      }

      @Override
      public void write(byte[] b, int off, int len) throws IOException {
        out.write(b, off, len);
        check();
      }

      @Override
      public void flush() throws IOException {
        out.flush();
        check();
      }

      private void check() throws IOException {
        if (out.checkError()) throw new IOException("the reader stopped reading (broken pipe)");
      }
    };
  }

  private static void summary(PrintStream out, Options o, Result r, String inName, String outName, Path png) {
    StretchPlan p = r.plan;
    String channels = r.layout != null ? r.layout + " folded to stereo" : r.channels == 2 ? "stereo" : "mono";
    String length = r.recordingFrames < 0 ? "length unknown"
        : (r.exactLength ? "" : "about ") + duration((double) r.recordingFrames / r.sampleRate);
    out.printf(Locale.ROOT, "Input:    %s, %s, %s, %d Hz%n", inName, length, channels, r.sampleRate);
    if (o.passage()) {
      String loops = o.loops > 1 ? ", " + o.loops + " times" : "";
      double seconds = (double) r.passageFrames / r.sampleRate;
      out.printf(Locale.ROOT, "Passage:  %s to %s (%.2f s)%s%n", Options.clock(o.startSeconds),
          Options.clock(o.startSeconds + seconds), seconds, loops);
    }
    out.printf(Locale.ROOT, "Output:   %s, %s%n", outName, duration((double) r.outputFrames / r.sampleRate));
    out.printf(Locale.ROOT,
        "Speed:    %s (realised %.4f: hops of %d in, %d out; frame %d, oversampling %d)%n",
        Options.formatSpeed(o.speed), p.realisedSpeed(), p.stepIn, p.stepOut, p.frameSize, p.overSampling);
    out.printf(Locale.ROOT, "Mix:      %s%n", mix(o, r.preampDb, r.channels));
    if (r.channels == 2) out.printf(Locale.ROOT, "Stereo:   %s%n", stereo(o, r.in, r.out));
    out.printf(Locale.ROOT, "Peak:     %s%n", peak(r));
    String notes = r.strongest.isEmpty() ? "none (silence)" : "strongest " + String.join(", ", r.strongest);
    out.printf(Locale.ROOT, "Notes:    %s%n", notes);
    if (png != null) out.printf(Locale.ROOT, "Spectrum: %s%n", png);
    double realtime = (double) r.outputFrames / r.sampleRate / Math.max(r.seconds, 1e-6);
    out.printf(Locale.ROOT, "Time:     %.2f s, %.1fx realtime%n", r.seconds, realtime);
  }

  /** The peak, and what to do when the limiter had to act. */
  static String peak(Result r) {
    double db = 20 * Math.log10(r.peak);
    String fitted = Double.isNaN(r.firstPeakDb) ? "" : String.format(Locale.ROOT,
        " (at the preamp asked for it was %+.1f dBFS; --headroom fit ran again at %+.1f dB)", r.firstPeakDb,
        r.preampDb);
    if (!(db >= SILENT_DBFS)) return "silent";
    if (r.peak <= LIMITER_KNEE) return String.format(Locale.ROOT, "%.1f dBFS", db) + fitted;
    String what = r.peak > 1 ? "above full scale, the limiter held it" : "the limiter softened it";
    return String.format(Locale.ROOT, "%+.1f dBFS: %s; --preamp %+.1f keeps the peak at %.0f dBFS", db, what,
        advisedPreamp(r.preampDb, db), HEADROOM_DBFS) + fitted;
  }

  private static String mix(Options o, double preampDb, int channels) {
    List<String> parts = new ArrayList<>();
    parts.add(String.format(Locale.ROOT, "preamp %+.1f dB", preampDb));
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

  /**
   * The stereo line: how the channels were stretched, and their correlation and mono-fold level
   * in the input and the output, which the independent stretch loses and the linked one keeps.
   */
  static String stereo(Options o, StereoImage in, StereoImage out) {
    return String.format(Locale.ROOT, "%s; left/right correlation %s in, %s out; mono fold %s in, %s out",
        o.stereoLink ? "linked" : "independent", correlation(in), correlation(out), foldDb(in), foldDb(out));
  }

  private static String correlation(StereoImage image) {
    double c = image.correlation();
    return Double.isNaN(c) ? "n/a" : String.format(Locale.ROOT, "%.2f", c);
  }

  private static String foldDb(StereoImage image) {
    double db = image.monoFoldDb();
    if (Double.isNaN(db)) return "n/a";
    return db == Double.NEGATIVE_INFINITY ? "-inf dB" : String.format(Locale.ROOT, "%+.2f dB", db);
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
