package velmora.chordsmith.audio;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
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
public final class Audio {
  /** The sample rates a recording may have. */
  public static final int MIN_RATE = 8000;
  public static final int MAX_RATE = 192000;

  public final short[] samples;
  public final int channels;
  public final int sampleRate;
  public final long frames;

  public Audio(short[] samples, int channels, int sampleRate) {
    if (channels != 1 && channels != 2) throw new IllegalArgumentException("channels " + channels);
    this.samples = samples;
    this.channels = channels;
    this.sampleRate = sampleRate;
    this.frames = samples.length / channels;
  }

  public double seconds() { return (double) frames / sampleRate; }

  /** Signed 16-bit little-endian PCM: what the engine works in and what we write. */
  public AudioFormat format() { return Pcm16.format(sampleRate, channels); }

  /** Reads any file javax.sound.sampled understands; every failure becomes a message about the file. */
  public static Audio read(Path path) throws FileException {
    if (!Files.exists(path)) throw new FileException("no such file: " + path);
    if (Files.isDirectory(path)) throw new FileException(path + " is a folder, not an audio file");
    if (!Files.isReadable(path)) throw new FileException("cannot read " + path + ": permission denied");
    AudioInputStream source;
    try {
      source = AudioSystem.getAudioInputStream(path.toFile());
    } catch (UnsupportedAudioFileException e) {
      throw new FileException(path + " is not in an audio format this tool can read (WAV, AIFF or AU)");
    } catch (IOException e) {
      throw new FileException("cannot read " + path + ": " + FileException.reason(e));
    }
    try (source) {
      AudioFormat format = source.getFormat();
      int channels = format.getChannels();
      if (channels != 1 && channels != 2) {
        throw new FileException(
            path + " has " + channels + " channels: only mono and stereo can be stretched");
      }
      float rate = format.getSampleRate();
      if (!(rate >= MIN_RATE && rate <= MAX_RATE)) {
        throw new FileException(path + " has a sample rate of " + rate + " Hz: " + MIN_RATE + " to "
            + MAX_RATE + " Hz are supported");
      }
      AudioFormat target = Pcm16.format(Math.round(rate), channels);
      AudioInputStream pcm = source;
      if (!format.matches(target)) {
        if (!AudioSystem.isConversionSupported(target, format)) {
          throw new FileException(
              path + ": cannot convert its " + describe(format) + " audio to 16-bit PCM");
        }
        pcm = AudioSystem.getAudioInputStream(target, source);
      }
      byte[] bytes = pcm.readAllBytes();
      int count = bytes.length / 2 / channels * channels;
      if (count == 0) throw new FileException(path + " contains no audio");
      return new Audio(Pcm16.unpack(bytes, count), channels, Math.round(rate));
    } catch (IOException e) {
      throw new FileException("cannot read " + path + ": " + FileException.reason(e));
    } catch (IllegalArgumentException e) {
      throw new FileException("cannot read " + path + ": " + e.getMessage());
    } catch (OutOfMemoryError e) {
      throw new FileException(path + " is too long to load: give Java more memory (java -Xmx4g ...)");
    }
  }

  private static String describe(AudioFormat f) {
    return f.getSampleSizeInBits() + "-bit " + f.getEncoding();
  }

  /** Writes {@code frames} frames of little-endian 16-bit PCM from {@code pcm} as a WAV file. */
  public static void writeWav(InputStream pcm, AudioFormat format, long frames, OutputStream out)
      throws IOException {
    try (AudioInputStream stream = new AudioInputStream(pcm, format, frames)) {
      AudioSystem.write(stream, AudioFileFormat.Type.WAVE, out);
    }
  }

  /** This recording as a WAV file. */
  public void writeWav(OutputStream out) throws IOException {
    writeWav(new ByteArrayInputStream(Pcm16.pack(samples, 0, samples.length)), format(), frames, out);
  }
}
