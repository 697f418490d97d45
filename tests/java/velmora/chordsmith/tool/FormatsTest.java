package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static velmora.chordsmith.tool.ToolTest.RATE;
import static velmora.chordsmith.tool.ToolTest.run;
import static velmora.chordsmith.tool.ToolTest.tone;

import java.io.ByteArrayInputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.FileSystemException;
import java.nio.file.Path;
import java.util.Arrays;
import javax.sound.sampled.AudioFileFormat;
import javax.sound.sampled.AudioFormat;
import javax.sound.sampled.AudioInputStream;
import javax.sound.sampled.AudioSystem;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.AudioWriter;
import velmora.chordsmith.audio.FileException;
import velmora.chordsmith.audio.OutputFormat;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Recordings in and out in the forms musicians have them, and what the tool says about them. */
class FormatsTest {
  @TempDir Path dir;

  Path save(String name, Audio audio) throws Exception {
    Path path = dir.resolve(name);
    try (OutputStream out = Files.newOutputStream(path)) {
      audio.writeWav(out);
    }
    return path;
  }

  @Test
  void compressedFilesComeInAndGoOutByTheirNames() throws Exception {
    Path flac = dir.resolve("take.flac");
    Audio input = tone(440, 0.3, 0, 1.5, 1.0, 1.0);
    try (AudioWriter w = AudioWriter.toFile(flac, OutputFormat.FLAC, RATE, 2, 16)) {
      w.write(input.samples, 0, (int) input.frames);
      w.finish();
    }
    ToolTest.Outcome mp3 = run(flac.toString(), "-o", dir.resolve("take.mp3").toString(), "-s", "1.25", "-q");
    assertEquals(0, mp3.code(), mp3.err());
    Audio back = Audio.read(dir.resolve("take.mp3"));
    assertEquals(1.2 * RATE, back.frames, RATE / 20.0);
    assertEquals(440, ToolTest.dominantHz(back, 0), 6);
    // With no -o, the output sits beside the input in its format.
    assertEquals(0, run(flac.toString(), "-q").code());
    assertEquals(Math.round(input.frames * 683 / 512.0), Audio.read(dir.resolve("take-0.75x.flac")).frames);
  }

  @Test
  void twentyFourBitsHoldTheSameSamplesAndAnUnservedExtensionWritesNothing() throws Exception {
    Path in = save("in.wav", tone(523.25, 0.4, 0, 1, 1.0, 0.5));
    assertEquals(0, run(in.toString(), "-o", dir.resolve("16.wav").toString(), "-q").code());
    assertEquals(0, run(in.toString(), "-o", dir.resolve("24.wav").toString(), "--bits", "24", "-q").code());
    short[] plain = Audio.read(dir.resolve("16.wav")).samples;
    try (AudioInputStream s = AudioSystem.getAudioInputStream(dir.resolve("24.wav").toFile())) {
      assertEquals(24, s.getFormat().getSampleSizeInBits());
      byte[] b = s.readAllBytes();
      short[] top = new short[b.length / 3];
      for (int i = 0; i < top.length; i++) top[i] = (short) (b[3 * i + 2] << 8 | (b[3 * i + 1] & 0xff));
      assertArrayEquals(plain, top);
    }

    ToolTest.Outcome odd = run(in.toString(), "-o", dir.resolve("out.xyz").toString());
    assertEquals(2, odd.code());
    assertTrue(odd.err().contains("no writer serves .xyz files; end it in .wav, .flac"), odd.err());
    assertFalse(Files.exists(dir.resolve("out.xyz")));
  }

  @Test
  void surroundIsFoldedToStereoAndTheSummarySaysSo() throws Exception {
    byte[] data = new byte[12 * RATE];
    for (int i = 0; i < data.length; i += 2) {
      // A tone on every channel but the LFE.
      int channel = i / 2 % 6;
      short s = channel == 3 ? 0 : (short) (3000 * Math.sin(2 * Math.PI * 440 * (i / 12) / RATE));
      data[i] = (byte) s;
      data[i + 1] = (byte) (s >> 8);
    }
    Path six = dir.resolve("six.wav");
    AudioFormat format = new AudioFormat(RATE, 16, 6, true, false);
    AudioInputStream stream = new AudioInputStream(new ByteArrayInputStream(data), format, RATE);
    AudioSystem.write(stream, AudioFileFormat.Type.WAVE, six.toFile());
    ToolTest.Outcome r = run(six.toString(), "-o", dir.resolve("out.wav").toString(), "-q");
    assertEquals(0, r.code(), r.err());
    assertTrue(r.out().contains("5.1 folded to stereo, 44100 Hz"), r.out());
    assertTrue(r.err().contains("is 5.1: folded to stereo (centre and surrounds at -3 dB, LFE dropped)"), r.err());
    assertEquals(2, Audio.read(dir.resolve("out.wav")).channels);
  }

  @Test
  void aTruncatedWavIsProcessedAsFarAsItGoesWithAWarning() throws Exception {
    Path whole = save("whole.wav", tone(440, 0.3, 0, 2, 1.0));
    // The header still announces two seconds; the data stops after half a second.
    Path cut = dir.resolve("cut.wav");
    Files.write(cut, Arrays.copyOf(Files.readAllBytes(whole), 44 + 2 * RATE / 2));
    ToolTest.Outcome r = run(cut.toString(), "-o", dir.resolve("out.wav").toString(), "-q", "-s", "1");
    assertEquals(0, r.code(), r.err());
    assertTrue(r.err().contains("warning: " + cut + " ends after 0:00.5, before the 0:02.0 its header announces"),
        r.err());
    assertEquals(RATE / 2, Audio.read(dir.resolve("out.wav")).frames);
  }

  @Test
  void messagesSayWhatIsWrongInTheTermsThePersonUsed() throws Exception {
    // One sample is no signal to speak of: silence, not -151.5 dBFS.
    ToolTest.Outcome one = run(save("one.wav", new Audio(new short[] {1}, 1, RATE)).toString(), "-o",
        dir.resolve("o.wav").toString(), "-q");
    assertEquals(0, one.code(), one.err());
    assertTrue(one.out().contains("Peak:     silent"), one.out());

    // Treble at 8 kHz is beyond what 8 kHz audio holds.
    Audio low = new Audio(new short[8000], 1, 8000);
    ToolTest.Outcome eq = run(save("low.wav", low).toString(), "-o", dir.resolve("o.wav").toString(), "-q", "--eq",
        "treble=+12");
    assertEquals(0, eq.code(), eq.err());
    assertTrue(eq.err().contains("note: --eq treble (8000 Hz) lies beyond the 4000 Hz limit of 8000 Hz audio"),
        eq.err());

    // A failed write names the file the person asked for and the system's reason, not a hidden temporary.
    String gone = FileException.reason(new NoSuchFileException(dir.resolve(".o.wav.1f2e.part").toString()));
    String full = FileException.reason(new FileSystemException(dir.resolve(".o.wav.1f2e.part").toString(), null,
        "No space left on device"));
    assertFalse(gone.contains(".part") || full.contains(".part"), gone + " / " + full);
    assertEquals("No space left on device", full);
  }
}
