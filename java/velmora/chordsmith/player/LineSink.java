package velmora.chordsmith.player;

import java.util.Locale;
import javax.sound.sampled.AudioSystem;
import javax.sound.sampled.LineUnavailableException;
import javax.sound.sampled.SourceDataLine;
import velmora.chordsmith.audio.Pcm16;

/**
 * The sound device, through javax.sound.sampled's default {@link SourceDataLine}. The line's
 * buffer is what stands between a control and the speaker besides the engine, so it is kept
 * small: {@link #open} asks for {@code bufferMillis} and the device may round it.
 */
public final class LineSink implements Sink {
  private final SourceDataLine line;
  private final int channels;
  private final int bufferFrames;
  private final String description;
  private byte[] bytes = new byte[0];

  private LineSink(SourceDataLine line, int channels, int sampleRate) {
    this.line = line;
    this.channels = channels;
    this.bufferFrames = line.getBufferSize() / (2 * channels);
    this.description = String.format(Locale.ROOT, "Sound: %s, %d Hz, buffer %.0f ms",
        line.getLineInfo().toString().replaceAll("^interface ", "").replaceAll(" supporting.*", ""),
        sampleRate, 1000.0 * bufferFrames / sampleRate);
  }

  /**
   * Opens and starts the default line, or, when there is no device or it refuses the format,
   * returns a {@link SilentSink} that says why.
   */
  public static Sink openOrSilent(int sampleRate, int channels, int bufferMillis) {
    int frames = Math.max(256, sampleRate * bufferMillis / 1000);
    try {
      SourceDataLine line = AudioSystem.getSourceDataLine(Pcm16.format(sampleRate, channels));
      line.open(Pcm16.format(sampleRate, channels), frames * 2 * channels);
      line.start();
      return new LineSink(line, channels, sampleRate);
    } catch (IllegalArgumentException e) {
      return SilentSink.noDevice(sampleRate, channels, frames);
    } catch (LineUnavailableException | SecurityException e) {
      return new SilentSink(sampleRate, frames,
          "The sound device is unavailable (" + e.getMessage() + "): playing silently in real time");
    }
  }

  @Override
  public void write(short[] samples, int frames) {
    int count = frames * channels;
    if (bytes.length < 2 * count) bytes = new byte[2 * count];
    for (int i = 0; i < count; i++) {
      short s = samples[i];
      bytes[2 * i] = (byte) s;
      bytes[2 * i + 1] = (byte) (s >> 8);
    }
    line.write(bytes, 0, 2 * count);
  }

  @Override
  public long played() { return line.getLongFramePosition(); }

  @Override
  public int bufferFrames() { return bufferFrames; }

  @Override
  public String describe() { return description; }

  @Override
  public boolean audible() { return true; }

  @Override
  public void close() {
    line.stop();
    line.flush();
    line.close();
  }
}
