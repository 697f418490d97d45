package velmora.chordsmith.audio;

import java.io.BufferedInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import javax.sound.sampled.AudioFormat;
import javax.sound.sampled.AudioInputStream;
import javax.sound.sampled.AudioSystem;
import javax.sound.sampled.UnsupportedAudioFileException;

/**
 * A recording opened for reading, decoded as it is read: a file or standard input, in any
 * format. WAV, AIFF and AU go through javax.sound.sampled, which also converts their sample
 * formats (8, 24 or 32 bits, float, big-endian) to ours; everything else through FFmpeg, which
 * hands over 16-bit PCM through a pipe (a WAV stream, whose header gives the rate and the
 * channel layout). Three or more channels are folded to stereo ({@link Downmix}).
 *
 * <p>Memory stays the same at any length: one buffer of the largest read.
 */
public final class AudioInput implements PcmSource {
  /** The sample rates a recording may have. */
  public static final int MIN_RATE = 8000;
  public static final int MAX_RATE = 192000;

  /** How the recording was named in messages: its path, or "standard input". */
  public final String name;
  /** Channels of the recording itself; {@link #channels()} is 2 where it was folded to stereo. */
  public final int sourceChannels;
  /** The layout folded to stereo ("5.1", "quad", ...), or null when nothing was folded. */
  public final String downmixedLayout;
  private final int sampleRate;
  /** Frames the header announces (exact), or that ffprobe estimates (not exact), or -1. */
  private final long announcedFrames;
  private final boolean announcedExactly;

  private final AudioInputStream pcm;
  private final Downmix downmix;
  /** FFmpeg decoding the recording, and what it says on error; null for javax.sound.sampled. */
  private final Process ffmpeg;
  private final Ffmpeg.ErrorTail ffmpegErrors;
  private byte[] bytes = new byte[0];
  private short[] wide = new short[0];
  private long framesRead;
  private boolean ended;

  private AudioInput(String name, AudioInputStream pcm, long announcedFrames, boolean exact, Process ffmpeg,
                     Ffmpeg.ErrorTail errors) throws FileException {
    AudioFormat format = pcm.getFormat();
    this.name = name;
    this.pcm = pcm;
    this.sourceChannels = format.getChannels();
    this.sampleRate = Math.round(format.getSampleRate());
    this.announcedFrames = announcedFrames;
    this.announcedExactly = exact;
    this.ffmpeg = ffmpeg;
    this.ffmpegErrors = errors;
    if (sourceChannels > 2) {
      Object mask = format.getProperty("channelMask");
      downmix = Downmix.of(sourceChannels, mask instanceof Integer m ? m : 0);
      downmixedLayout = downmix.layout;
    } else {
      downmix = null;
      downmixedLayout = null;
    }
  }

  /** Opens a file: javax.sound.sampled when it knows the format, FFmpeg otherwise. */
  public static AudioInput open(Path path) throws FileException {
    if (!Files.exists(path)) throw new FileException("no such file: " + path);
    if (Files.isDirectory(path)) throw new FileException(path + " is a folder, not an audio file");
    if (!Files.isReadable(path)) throw new FileException("cannot read " + path + ": permission denied");
    String name = path.toString();
    AudioInputStream source;
    try {
      source = AudioSystem.getAudioInputStream(path.toFile());
    } catch (UnsupportedAudioFileException e) {
      return decode(name, path.toAbsolutePath().toString(), null);
    } catch (IOException e) {
      throw new FileException("cannot read " + path + ": " + FileException.reason(e));
    }
    AudioInput sampled = sampled(name, source);
    return sampled != null ? sampled : decode(name, path.toAbsolutePath().toString(), null);
  }

  /**
   * Opens a recording that arrives on {@code stream} (standard input), in any format: the
   * first bytes tell javax.sound.sampled whether it knows it, and otherwise all of it is passed
   * on to FFmpeg. Closing the input does not close {@code stream}.
   */
  public static AudioInput open(InputStream stream, String name) throws FileException {
    BufferedInputStream in = new BufferedInputStream(stream, 1 << 16);
    in.mark(1 << 16);
    try {
      AudioInput sampled = sampled(name, AudioSystem.getAudioInputStream(in));
      if (sampled != null) return sampled;
    } catch (UnsupportedAudioFileException e) {
      // Not WAV, AIFF or AU: FFmpeg gets all of it, from the first byte.
    } catch (IOException e) {
      throw new FileException("cannot read " + name + ": " + FileException.reason(e));
    }
    try {
      in.reset();
    } catch (IOException tooFar) {
      throw new FileException("cannot read " + name + ": " + FileException.reason(tooFar));
    }
    return decode(name, "pipe:0", in);
  }

  /** The stream as 16-bit PCM through javax.sound.sampled, or null when it cannot convert it. */
  private static AudioInput sampled(String name, AudioInputStream source) throws FileException {
    AudioFormat format = source.getFormat();
    check(name, format);
    AudioFormat target = Pcm16.format(Math.round(format.getSampleRate()), format.getChannels());
    AudioInputStream pcm = source;
    if (!format.matches(target)) {
      if (!AudioSystem.isConversionSupported(target, format)) {
        close(source);
        return null;
      }
      pcm = AudioSystem.getAudioInputStream(target, source);
    }
    // A data length of 0xFFFFFFFF bytes is how a WAV written to a pipe says "unknown".
    long frames = source.getFrameLength();
    boolean known = frames != AudioSystem.NOT_SPECIFIED && frames < 0xFFFFFFFFL / format.getFrameSize();
    return new AudioInput(name, pcm, known ? frames : -1, known, null, null);
  }

  /**
   * The recording decoded by FFmpeg: {@code input} is its path, or "pipe:0" with the bytes on
   * {@code stdin}, which a thread passes on.
   */
  private static AudioInput decode(String name, String input, InputStream stdin) throws FileException {
    List<String> command =
        Ffmpeg.command("-nostdin", "-i", input, "-map", "0:a:0", "-c:a", "pcm_s16le", "-f", "wav", "pipe:1");
    Process p = Ffmpeg.start(new ProcessBuilder(command), name + " is not WAV, AIFF or AU: reading it");
    Ffmpeg.ErrorTail errors = new Ffmpeg.ErrorTail(p.getErrorStream());
    if (stdin != null) {
      Thread feeder = new Thread(() -> {
        try (OutputStream in = p.getOutputStream()) {
          stdin.transferTo(in);
        } catch (IOException stopped) {
          // FFmpeg stopped reading (it failed, or it was told to stop): its exit code says which.
        }
      }, "ffmpeg-stdin");
      feeder.setDaemon(true);
      feeder.start();
    } else {
      close(p.getOutputStream());
    }
    AudioInputStream pcm;
    try {
      pcm = AudioSystem.getAudioInputStream(new BufferedInputStream(p.getInputStream(), 1 << 16));
    } catch (UnsupportedAudioFileException | IOException e) {
      // No WAV header came: FFmpeg could not read the input. Its last line says why.
      Ffmpeg.end(p);
      String why = errors.text();
      if (why.contains("matches no streams")) throw new FileException(name + " holds no audio");
      why = errors.lastLine().replace(input + ": ", "");
      throw new FileException(name + " is not in an audio format this tool can read"
          + (why.isEmpty() ? "" : " (FFmpeg: " + why + ")"));
    }
    try {
      check(name, pcm.getFormat());
    } catch (FileException e) {
      p.destroy();
      throw e;
    }
    long estimate = stdin == null ? Ffmpeg.probeFrames(input, Math.round(pcm.getFormat().getSampleRate())) : -1;
    return new AudioInput(name, pcm, estimate, false, p, errors);
  }

  private static void check(String name, AudioFormat format) throws FileException {
    if (format.getChannels() < 1) throw new FileException(name + " has no channels");
    float rate = format.getSampleRate();
    if (!(rate >= MIN_RATE && rate <= MAX_RATE)) {
      throw new FileException(name + " has a sample rate of " + rate + " Hz: " + MIN_RATE + " to " + MAX_RATE
          + " Hz are supported");
    }
  }

  @Override
  public int channels() { return downmix != null ? 2 : sourceChannels; }

  @Override
  public int sampleRate() { return sampleRate; }

  /**
   * The length the recording announces, in frames: exact from a WAV, AIFF or AU header, an
   * estimate for what FFmpeg decodes; -1 when unknown. What is really there is known at the end.
   */
  public long announcedFrames() { return announcedFrames; }

  /** Whether {@link #announcedFrames} comes from the recording's header rather than an estimate. */
  public boolean announcedExactly() { return announcedExactly; }

  /** Frames delivered so far: at the end, the recording's length. */
  public long framesRead() { return framesRead; }

  /** At the end: whether the data stopped before the length its header announced. */
  public boolean truncated() { return ended && announcedExactly && framesRead < announcedFrames; }

  /** Samples that the fold to stereo had to hold at full scale. */
  public long downmixClipped() { return downmix == null ? 0 : downmix.clipped(); }

  @Override
  public int read(short[] into, int offset, int frames) throws FileException {
    if (ended || frames <= 0) return 0;
    int got = readSource(frames);
    if (downmix != null) {
      downmix.apply(wide, got, into, offset);
    } else {
      System.arraycopy(wide, 0, into, offset * sourceChannels, got * sourceChannels);
    }
    framesRead += got;
    if (got < frames) end();
    return got;
  }

  @Override
  public long skip(long frames) throws FileException {
    long done = 0;
    while (done < frames && !ended) {
      int n = readSource((int) Math.min(frames - done, 1 << 14));
      done += n;
      framesRead += n;
      if (n == 0) end();
    }
    return done;
  }

  /** Reads up to {@code frames} source frames into {@code wide}; fewer only at the end. */
  private int readSource(int frames) throws FileException {
    int frameBytes = 2 * sourceChannels;
    int want = frames * frameBytes;
    if (bytes.length < want) {
      bytes = new byte[want];
      wide = new short[frames * sourceChannels];
    }
    int have = 0;
    try {
      while (have < want) {
        int n = pcm.read(bytes, have, want - have);
        if (n < 0) break;
        have += n;
      }
    } catch (IOException e) {
      throw new FileException("cannot read " + name + ": " + FileException.reason(e));
    }
    int got = have / frameBytes;
    Pcm16.unpack(bytes, got * sourceChannels, wide);
    return got;
  }

  /** The data ended: an FFmpeg that failed on the way says so now. */
  private void end() throws FileException {
    ended = true;
    if (ffmpeg != null) {
      int code = Ffmpeg.waitFor(ffmpeg);
      if (code != 0) {
        throw new FileException(
            "cannot read " + name + " to its end: FFmpeg failed (" + ffmpegErrors.lastLine() + ")");
      }
    }
  }

  @Override
  public void close() {
    close(pcm);
    if (ffmpeg != null && ffmpeg.isAlive()) {
      ffmpeg.destroy();
      Ffmpeg.waitFor(ffmpeg);
    }
  }

  private static void close(AutoCloseable c) {
    try {
      c.close();
    } catch (Exception ignored) {
      // Nothing is lost by a failed close of something we only read.
    }
  }
}
