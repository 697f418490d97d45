package velmora.chordsmith.audio;

import java.io.BufferedOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * Writes a recording as it is made, block by block, in any {@link OutputFormat}: to a file that
 * appears complete or not at all ({@link AtomicOutput}), or to a stream such as standard output.
 * WAV is written here; everything else by FFmpeg, fed 16-bit PCM through a pipe. Memory stays
 * the same at any length.
 *
 * <p>{@link #finish} completes the recording (the file is renamed into place); {@link #close}
 * without it abandons it (the temporary file is deleted, FFmpeg stopped).
 */
public abstract class AudioWriter implements AutoCloseable {
  /** What messages call the output: its path, or "standard output". */
  public final String name;
  protected final int channels;
  protected long frames;

  private AudioWriter(String name, int channels) {
    this.name = name;
    this.channels = channels;
  }

  /** A writer for the file {@code target}, which appears only when finished. */
  public static AudioWriter toFile(Path target, OutputFormat format, int sampleRate, int channels, int bits)
      throws FileException {
    AtomicOutput out = AtomicOutput.open(target);
    try {
      return format == OutputFormat.WAV
          ? new Wav(target.toString(), out, out.stream(), sampleRate, channels, bits, 0)
          : new Encoder(target.toString(), out, null, format, sampleRate, channels, bits);
    } catch (FileException | RuntimeException e) {
      out.close();
      throw e;
    }
  }

  /**
   * A writer for {@code stream} (left open), known as {@code name} in messages. A WAV header
   * on a stream gives {@code frames} as the length, or says the length is unknown when it is
   * -1; a WAV of known length must get exactly that many frames.
   */
  public static AudioWriter toStream(OutputStream stream, String name, OutputFormat format, int sampleRate,
                                     int channels, int bits, long frames) throws FileException {
    return format == OutputFormat.WAV
        ? new Wav(name, null, stream, sampleRate, channels, bits, frames)
        : new Encoder(name, null, stream, format, sampleRate, channels, bits);
  }

  /** Appends {@code count} frames of {@code samples}, starting at frame {@code offset}. */
  public abstract void write(short[] samples, int offset, int count) throws FileException;

  /** Completes the recording: flushed, and a file renamed into place. */
  public abstract void finish() throws FileException;

  /** Abandons the recording unless it was finished. */
  @Override
  public abstract void close();

  /** Frames written so far. */
  public long frames() { return frames; }

  protected FileException failed(IOException e) {
    return new FileException("cannot write " + name + ": " + FileException.reason(e));
  }

  /**
   * A WAV file: the canonical 44-byte header and PCM, 16 or 24 bits little-endian. In a file
   * the header's lengths are filled in at the end; on a stream, which cannot go back, they say
   * 0xFFFFFFFF, the usual mark of a WAV of unknown length.
   */
  static final class Wav extends AudioWriter {
    /** The most data a WAV file can describe: its RIFF length is 32 bits and counts 36 more bytes. */
    static final long MAX_DATA_BYTES = 0xFFFFFFFFL - 36;

    private final AtomicOutput file;
    private final OutputStream out;
    private final int sampleRate;
    private final int bytesPerSample;
    /** The length the header on a stream announced, or -1 for unknown. */
    private final long announced;
    private byte[] bytes = new byte[0];
    private boolean finished;

    /** {@code frames}: the length to announce on a stream, -1 if unknown; a file's is filled in at the end. */
    Wav(String name, AtomicOutput file, OutputStream out, int sampleRate, int channels, int bits, long frames)
        throws FileException {
      super(name, channels);
      this.file = file;
      this.out = out;
      this.sampleRate = sampleRate;
      this.bytesPerSample = bits / 8;
      this.announced = file != null ? -1 : frames;
      try {
        out.write(header(frames < 0 ? -1 : frames * channels * bytesPerSample));
      } catch (IOException e) {
        throw failed(e);
      }
    }

    /** The header for {@code dataBytes} of samples, or for an unknown length when -1. */
    byte[] header(long dataBytes) {
      int frameBytes = channels * bytesPerSample;
      long riff = dataBytes < 0 ? 0xFFFFFFFFL : 36 + dataBytes;
      long data = dataBytes < 0 ? 0xFFFFFFFFL : dataBytes;
      byte[] h = new byte[44];
      ascii(h, 0, "RIFF");
      le(h, 4, riff, 4);
      ascii(h, 8, "WAVEfmt ");
      le(h, 16, 16, 4);
      le(h, 20, 1, 2);  // integer PCM
      le(h, 22, channels, 2);
      le(h, 24, sampleRate, 4);
      le(h, 28, (long) sampleRate * frameBytes, 4);
      le(h, 32, frameBytes, 2);
      le(h, 34, 8L * bytesPerSample, 2);
      ascii(h, 36, "data");
      le(h, 40, data, 4);
      return h;
    }

    private static void ascii(byte[] h, int at, String s) {
      for (int i = 0; i < s.length(); i++) h[at + i] = (byte) s.charAt(i);
    }

    private static void le(byte[] h, int at, long v, int n) {
      for (int i = 0; i < n; i++) h[at + i] = (byte) (v >>> (8 * i));
    }

    @Override
    public void write(short[] samples, int offset, int count) throws FileException {
      int n = count * channels;
      if ((frames + count) * channels * bytesPerSample > MAX_DATA_BYTES) {
        throw new FileException("cannot write " + name + ": it would pass 4 GB, the most a WAV file holds;"
            + " write FLAC instead");
      }
      if (bytes.length < n * bytesPerSample) bytes = new byte[n * bytesPerSample];
      int from = offset * channels;
      if (bytesPerSample == 2) {
        Pcm16.pack(samples, from, n, bytes);
      } else {
        // 24 bits: the 16-bit sample in the top two bytes, the low byte zero.
        for (int i = 0; i < n; i++) {
          short s = samples[from + i];
          bytes[3 * i] = 0;
          bytes[3 * i + 1] = (byte) s;
          bytes[3 * i + 2] = (byte) (s >> 8);
        }
      }
      try {
        out.write(bytes, 0, n * bytesPerSample);
      } catch (IOException e) {
        throw failed(e);
      }
      frames += count;
    }

    @Override
    public void finish() throws FileException {
      try {
        out.flush();
      } catch (IOException e) {
        throw failed(e);
      }
      if (file != null) {
        file.overwrite(0, header(frames * channels * bytesPerSample));
        file.commit();
      } else if (announced >= 0 && frames != announced) {
        throw new IllegalStateException(name + ": announced " + announced + " frames, wrote " + frames);
      }
      finished = true;
    }

    @Override
    public void close() {
      if (file != null && !finished) file.close();
    }
  }

  /**
   * FFmpeg encoding 16-bit PCM from a pipe: into the temporary file of {@code file}, or onto
   * {@code stream} through a thread that passes its output on.
   */
  static final class Encoder extends AudioWriter {
    private final AtomicOutput file;
    private final Path temp;
    private final Process ffmpeg;
    private final Ffmpeg.ErrorTail errors;
    private final OutputStream toFfmpeg;
    private final Thread passOn;
    private volatile IOException passOnFailure;
    private byte[] bytes = new byte[0];
    private boolean finished;

    Encoder(String name, AtomicOutput file, OutputStream stream, OutputFormat format, int sampleRate, int channels,
            int bits) throws FileException {
      super(name, channels);
      this.file = file;
      List<String> command = new ArrayList<>(Ffmpeg.command("-f", "s16le", "-ar", Integer.toString(sampleRate),
          "-ac", Integer.toString(channels), "-i", "pipe:0"));
      command.addAll(format.ffmpegOptions(bits, file == null));
      temp = file == null ? null : file.handOver();
      command.addAll(file == null ? List.of("pipe:1") : List.of("-y", temp.toString()));
      ProcessBuilder builder = new ProcessBuilder(command);
      if (file != null) builder.redirectOutput(ProcessBuilder.Redirect.DISCARD);
      ffmpeg = Ffmpeg.start(builder, "writing " + format.label);
      errors = new Ffmpeg.ErrorTail(ffmpeg.getErrorStream());
      toFfmpeg = new BufferedOutputStream(ffmpeg.getOutputStream(), 1 << 16);
      if (stream != null) {
        passOn = new Thread(() -> {
          try (var encoded = ffmpeg.getInputStream()) {
            encoded.transferTo(stream);
            stream.flush();
          } catch (IOException e) {
            passOnFailure = e;
            ffmpeg.destroy();
          }
        }, "ffmpeg-stdout");
        passOn.setDaemon(true);
        passOn.start();
      } else {
        passOn = null;
      }
    }

    @Override
    public void write(short[] samples, int offset, int count) throws FileException {
      int n = count * channels;
      if (bytes.length < 2 * n) bytes = new byte[2 * n];
      Pcm16.pack(samples, offset * channels, n, bytes);
      try {
        toFfmpeg.write(bytes, 0, 2 * n);
      } catch (IOException e) {
        // FFmpeg stopped reading: it failed, and says why.
        throw ffmpegFailed();
      }
      frames += count;
    }

    private FileException ffmpegFailed() {
      Ffmpeg.end(ffmpeg);
      if (passOnFailure != null) return failed(passOnFailure);
      String why = errors.lastLine();
      // FFmpeg names the hidden temporary file; the person knows the target.
      if (temp != null) why = why.replace(temp.toString() + ": ", "").replace(temp.toString(), name);
      return new FileException(
          "cannot write " + name + ": FFmpeg failed" + (why.isEmpty() ? "" : " (" + why + ")"));
    }

    @Override
    public void finish() throws FileException {
      try {
        toFfmpeg.close();
      } catch (IOException e) {
        throw ffmpegFailed();
      }
      if (Ffmpeg.waitFor(ffmpeg) != 0) throw ffmpegFailed();
      if (passOn != null) {
        try {
          passOn.join();
        } catch (InterruptedException e) {
          Thread.currentThread().interrupt();
        }
        if (passOnFailure != null) throw failed(passOnFailure);
      }
      if (file != null) file.commit();
      finished = true;
    }

    @Override
    public void close() {
      if (finished) return;
      ffmpeg.destroy();
      Ffmpeg.waitFor(ffmpeg);
      if (file != null) file.close();
    }
  }
}
