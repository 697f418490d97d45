package velmora.chordsmith.audio;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import javax.sound.sampled.AudioFileFormat;
import javax.sound.sampled.AudioFormat;
import javax.sound.sampled.AudioInputStream;
import javax.sound.sampled.AudioSystem;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Reading what javax.sound.sampled knows into 16-bit PCM, writing WAV, and refusing the rest. */
class AudioFilesTest {
  private static final AudioFileFormat.Type WAVE = AudioFileFormat.Type.WAVE;

  @TempDir Path dir;

  private Path write(String name, AudioFormat format, byte[] data, AudioFileFormat.Type type)
      throws Exception {
    Path path = dir.resolve(name);
    long frames = data.length / format.getFrameSize();
    AudioInputStream s = new AudioInputStream(new ByteArrayInputStream(data), format, frames);
    AudioSystem.write(s, type, path.toFile());
    return path;
  }

  @Test
  void writesAndReadsBack16BitStereoExactly() throws Exception {
    short[] samples = {0, 1, -1, 32767, -32768, 1234, -4321, 7};
    Audio audio = new Audio(samples, 2, 22050);
    Path path = dir.resolve("a.wav");
    try (OutputStream out = Files.newOutputStream(path)) {
      audio.writeWav(out);
    }
    Audio back = Audio.read(path);
    assertArrayEquals(samples, back.samples);
    assertEquals(2, back.channels);
    assertEquals(22050, back.sampleRate);
    assertEquals(4, back.frames);
  }

  @Test
  void convertsOtherSampleFormatsTo16Bits() throws Exception {
    // 24-bit big-endian AIFF: 0x123456 keeps its top 16 bits.
    AudioFormat f24 = new AudioFormat(AudioFormat.Encoding.PCM_SIGNED, 48000, 24, 1, 3, 48000, true);
    byte[] data24 = {0x12, 0x34, 0x56, (byte) 0x80, 0, 0};
    Audio a = Audio.read(write("a.aiff", f24, data24, AudioFileFormat.Type.AIFF));
    assertArrayEquals(new short[] {0x1234, -32768}, a.samples);
    assertEquals(48000, a.sampleRate);
    // 8-bit unsigned WAV: 128 is silence, 255 nearly full scale.
    AudioFormat f8 = new AudioFormat(AudioFormat.Encoding.PCM_UNSIGNED, 8000, 8, 1, 1, 8000, false);
    byte[] data8 = {(byte) 128, (byte) 255, 0};
    Audio b = Audio.read(write("b.wav", f8, data8, AudioFileFormat.Type.WAVE));
    assertEquals(3, b.samples.length);
    assertEquals(0, b.samples[0]);
    assertTrue(b.samples[1] >= 127 << 8);
    assertEquals(-32768, b.samples[2]);
  }

  private static String refusal(Path path) {
    return assertThrows(FileException.class, () -> Audio.read(path)).getMessage();
  }

  @Test
  void refusesWhatItCannotStretchWithAMessageAboutTheFile() throws Exception {
    assertTrue(refusal(dir.resolve("missing.wav")).startsWith("no such file"));
    assertTrue(refusal(dir).contains("is a folder"));
    Path text = Files.writeString(dir.resolve("notes.wav"), "these are not samples, just words in a file");
    assertTrue(refusal(text).contains("not in an audio format"));
    AudioFormat six = new AudioFormat(44100, 16, 6, true, false);
    assertTrue(refusal(write("six.wav", six, new byte[12], WAVE)).contains("6 channels"));
    AudioFormat mono = new AudioFormat(44100, 16, 1, true, false);
    assertTrue(refusal(write("empty.wav", mono, new byte[0], WAVE)).contains("no audio"));
    AudioFormat slow = new AudioFormat(2000, 16, 1, true, false);
    assertTrue(refusal(write("slow.wav", slow, new byte[4], WAVE)).contains("sample rate"));
  }
}
