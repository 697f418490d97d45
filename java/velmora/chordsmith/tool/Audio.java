package velmora.chordsmith.tool;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.AccessDeniedException;
import java.nio.file.Files;
import java.nio.file.Path;
import javax.sound.sampled.AudioFileFormat;
import javax.sound.sampled.AudioFormat;
import javax.sound.sampled.AudioInputStream;
import javax.sound.sampled.AudioSystem;
import javax.sound.sampled.UnsupportedAudioFileException;

/**
 * A recording in memory as the engine takes it: signed 16-bit PCM, mono or interleaved stereo
 * (left at 2i, right at 2i + 1). Reading and writing go through javax.sound.sampled, which knows
 * the file formats and converts other sample formats (8, 24 or 32 bits, float, big-endian) to
 * ours.
 */
final class Audio {
  static final int MIN_RATE = 8000;
  static final int MAX_RATE = 192000;

  final short[] samples;
  final int channels;
  final int sampleRate;
  final long frames;

  Audio(short[] samples, int channels, int sampleRate) {
    if (channels != 1 && channels != 2) throw new IllegalArgumentException("channels " + channels);
    this.samples = samples;
    this.channels = channels;
    this.sampleRate = sampleRate;
    this.frames = samples.length / channels;
  }

  double seconds() { return (double) frames / sampleRate; }

  /** Signed 16-bit little-endian PCM: what the engine works in and what we write. */
  AudioFormat format() { return Pcm16.format(sampleRate, channels); }

  /** Reads any file javax.sound.sampled understands; every failure becomes a message about the file. */
  static Audio read(Path path) throws ToolException {
    if (!Files.exists(path)) throw ToolException.failed("no such file: " + path);
    if (Files.isDirectory(path)) throw ToolException.failed(path + " is a folder, not an audio file");
    if (!Files.isReadable(path)) throw ToolException.failed("cannot read " + path + ": permission denied");
    AudioInputStream source;
    try {
      source = AudioSystem.getAudioInputStream(path.toFile());
    } catch (UnsupportedAudioFileException e) {
      throw ToolException.failed(path + " is not in an audio format this tool can read (WAV, AIFF or AU)");
    } catch (IOException e) {
      throw ToolException.failed("cannot read " + path + ": " + reason(e));
    }
    try (source) {
      AudioFormat format = source.getFormat();
      int channels = format.getChannels();
      if (channels != 1 && channels != 2) {
        throw ToolException.failed(
            path + " has " + channels + " channels: only mono and stereo can be stretched");
      }
      float rate = format.getSampleRate();
      if (!(rate >= MIN_RATE && rate <= MAX_RATE)) {
        throw ToolException.failed(path + " has a sample rate of " + rate + " Hz: " + MIN_RATE + " to "
            + MAX_RATE + " Hz are supported");
      }
      AudioFormat target = Pcm16.format(Math.round(rate), channels);
      AudioInputStream pcm = source;
      if (!format.matches(target)) {
        if (!AudioSystem.isConversionSupported(target, format)) {
          throw ToolException.failed(
              path + ": cannot convert its " + describe(format) + " audio to 16-bit PCM");
        }
        pcm = AudioSystem.getAudioInputStream(target, source);
      }
      byte[] bytes = pcm.readAllBytes();
      int count = bytes.length / 2 / channels * channels;
      if (count == 0) throw ToolException.failed(path + " contains no audio");
      return new Audio(Pcm16.unpack(bytes, count), channels, Math.round(rate));
    } catch (IOException e) {
      throw ToolException.failed("cannot read " + path + ": " + reason(e));
    } catch (IllegalArgumentException e) {
      throw ToolException.failed("cannot read " + path + ": " + e.getMessage());
    } catch (OutOfMemoryError e) {
      throw ToolException.failed(path + " is too long to load: give Java more memory (java -Xmx4g ...)");
    }
  }

  private static String describe(AudioFormat f) {
    return f.getSampleSizeInBits() + "-bit " + f.getEncoding();
  }

  static String reason(IOException e) {
    if (e instanceof AccessDeniedException) return "permission denied";
    String m = e.getMessage();
    return m == null || m.isEmpty() ? e.getClass().getSimpleName() : m;
  }

  /** Writes {@code frames} frames of little-endian 16-bit PCM from {@code pcm} as a WAV file. */
  static void writeWav(InputStream pcm, AudioFormat format, long frames, OutputStream out)
      throws IOException {
    try (AudioInputStream stream = new AudioInputStream(pcm, format, frames)) {
      AudioSystem.write(stream, AudioFileFormat.Type.WAVE, out);
    }
  }

  /** This recording as a WAV file. */
  void writeWav(OutputStream out) throws IOException {
    writeWav(new ByteArrayInputStream(Pcm16.pack(samples, 0, samples.length)), format(), frames, out);
  }
}
