package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;
import velmora.chordsmith.audio.OutputFormat;
import org.junit.jupiter.api.Test;

/** The command line: defaults, the spellings a person types, and clear refusals. */
class OptionsTest {
  private static String refusal(String... args) {
    ToolException e = assertThrows(ToolException.class, () -> Options.parse(args));
    assertEquals(ToolException.USAGE, e.exitCode);
    return e.getMessage();
  }

  @Test
  void noArgumentsMeanTheExampleWithDefaults() throws Exception {
    Options o = Options.parse(new String[0]);
    assertNull(o.input);
    assertEquals(0.75, o.speed);
    assertEquals(2048, o.frameSize);
    assertEquals(0, o.voiceAmount);
    assertTrue(o.stereoLink);
    assertNull(o.eq);
    assertFalse(o.help);
  }

  @Test
  void acceptsSeparateAndJoinedValuesPercentagesAndAnInputAnywhere() throws Exception {
    Options o = Options.parse(new String[] {"--speed=50%", "song.wav", "--frame-size", "4096", "-o", "x.wav",
        "--preamp", "-3dB", "--balance=-40", "--remove-voice", "0.8", "--voice-band", "200-5000", "-q"});
    assertEquals(0.5, o.speed);
    assertEquals(Path.of("song.wav"), o.input);
    assertEquals(4096, o.frameSize);
    assertEquals(Path.of("x.wav"), o.output);
    assertEquals(-3, o.preampDb);
    assertEquals(-40, o.balance);
    assertEquals(0.8, o.voiceAmount);
    assertEquals(200, o.voiceLowHz);
    assertEquals(5000, o.voiceHighHz);
    assertTrue(o.quiet);
    assertFalse(Options.parse(new String[] {"--stereo", "independent"}).stereoLink);
    assertTrue(Options.parse(new String[] {"--stereo=Linked"}).stereoLink);
    assertEquals(1.5, Options.parse(new String[] {"-s", "1.5x"}).speed);
    assertEquals(Path.of("-odd.wav"), Options.parse(new String[] {"--", "-odd.wav"}).input);
  }

  @Test
  void refusesSpeedsOutsideTheRangeAndWordsThatAreNotNumbers() {
    assertTrue(refusal("--speed", "5").contains("out of range"));
    assertTrue(refusal("--speed", "0.1").contains("out of range"));
    assertTrue(refusal("--speed", "0").contains("out of range"));
    for (String notANumber : new String[] {"NaN", "nan", "Infinity", "inf", "0x1p-2", "fast"}) {
      assertTrue(refusal("--speed", notANumber).contains("'" + notANumber + "' is not a number"), notANumber);
    }
    assertTrue(refusal("--preamp", "NaN").contains("is not a number"));
  }

  @Test
  void refusesMalformedCommandLines() {
    assertTrue(refusal("--tempo", "2").contains("unknown option --tempo"));
    assertTrue(refusal("song.wav", "--tempo").contains("unknown option --tempo"));
    assertTrue(refusal("--speed").contains("needs a value"));
    assertTrue(refusal("--mono=yes").contains("takes no value"));
    assertTrue(refusal("a.wav", "b.wav").contains("one input file"));
    assertTrue(refusal("--frame-size", "1000").contains("power of two"));
    assertTrue(refusal("--frame-size", "8192").contains("out of range"));
    assertTrue(refusal("--oversampling", "1").contains("out of range"));
    assertTrue(refusal("--oversampling", "3").contains("power of two"));
    assertTrue(refusal("--mono", "--balance", "20").contains("cannot be combined"));
    assertTrue(refusal("--voice-band", "300-400").contains("octave"));
    assertTrue(refusal("--voice-band", "6000-150").contains("wrong way round: give the lower edge first, 150-"));
    assertTrue(refusal("--bits", "20").contains("16 or 24"));
    assertTrue(refusal("--headroom", "max").contains("auto or fit"));
    assertTrue(refusal("--start", "1:30", "--end", "1:00").contains("must come after"));
    assertTrue(refusal("-", "-o", "-", "--headroom", "fit").contains("needs files"));
    assertTrue(refusal("-").contains("say where the output goes"));
    assertTrue(refusal("--format", "midi").contains("no writer"));
    assertTrue(refusal("--remove-voice", "-1").contains("out of range"));
    assertTrue(refusal("--stereo", "wide").contains("linked or independent"));
  }

  @Test
  void choosesTheOverlapForTheSpeedUnlessOneIsGivenAndThenSuggestsMore() throws Exception {
    for (String[] speedAndOverlap : new String[][] {{"4", "4"}, {"0.5", "4"}, {"0.49", "8"}, {"0.25", "8"}}) {
      Options o = Options.parse(new String[] {"--speed", speedAndOverlap[0]});
      o.checkGeometry();
      assertEquals(Integer.parseInt(speedAndOverlap[1]), o.overSampling, "speed " + speedAndOverlap[0]);
    }
    Options given = Options.parse(new String[] {"--speed", "0.25", "--oversampling", "16", "--frame-size", "256"});
    given.checkGeometry();
    assertEquals(16, given.overSampling);
    Options tooLittle = Options.parse(new String[] {"--speed", "0.3", "--oversampling", "4"});
    ToolException e = assertThrows(ToolException.class, tooLittle::checkGeometry);
    assertEquals(ToolException.USAGE, e.exitCode);
    assertTrue(e.getMessage().contains("--oversampling 8"), e.getMessage());
  }

  @Test
  void readsTimesAsSecondsOrMinutesAndSecondsAndFormatsByExtension() throws Exception {
    assertEquals(75.5, Options.time("--start", "75.5"));
    assertEquals(75.5, Options.time("--start", "1:15.5"));
    assertEquals(3723, Options.time("--start", "1:02:03"));
    for (String bad : new String[] {"1:75", "-3", "1:2:3:4", "soon", "1:"}) {
      assertTrue(assertThrows(ToolException.class, () -> Options.time("--end", bad)).getMessage()
          .contains("is not a time"), bad);
    }
    Options passage = Options.parse(new String[] {"a.wav", "--start", "0:30", "--end", "45", "--loop", "3"});
    assertEquals(30, passage.startSeconds);
    assertEquals(45, passage.endSeconds);
    assertEquals(3, passage.loops);

    assertEquals(OutputFormat.FLAC, Options.parse(new String[] {"a.wav", "-o", "b.FLAC"}).outputFormat());
    assertEquals(OutputFormat.WAV, Options.parse(new String[] {"-", "-o", "-"}).outputFormat());
    assertEquals(OutputFormat.MP3, Options.parse(new String[] {"-", "-o", "-", "--format", "mp3"}).outputFormat());
    for (String[] args : new String[][] {{"a.wav", "-o", "b.xyz"}, {"a.wav", "-o", "noextension"},
        {"a.wav", "-o", "b.wav", "--format", "flac"}}) {
      ToolException e = assertThrows(ToolException.class, () -> Options.parse(args).outputFormat());
      assertEquals(ToolException.USAGE, e.exitCode, String.join(" ", args));
    }
  }

  @Test
  void readsTheEqualiserAsAPersonTypesItAndRefusesWhatItCannotRead() throws Exception {
    assertEquals("bass +6.0 dB, 2500 Hz +3.0 dB, treble -12.0 dB",
        EqOption.parse("bass=+6, treble=-12dB, 2.5k=3").describe());
    assertEquals("low-mid -3.0 dB, 440 Hz +1.0 dB", EqOption.parse("lowmid=-3,440Hz=1").describe());
    String[] bad = {"bass", "bass=", "boom=3", "bass=+99", "bass=loud", "10=3", "bass=1,100=2", ","};
    for (String text : bad) {
      assertTrue(refusal("--eq", text).startsWith("--eq"), text);
    }
  }

  @Test
  void namesTheDefaultOutputAfterTheInputAndTheSpeed() throws Exception {
    Options o = Options.parse(new String[] {"music/take 3.wav", "--speed", "0.8"});
    assertEquals(Path.of("music/take 3-0.8x.wav"), o.defaultOutput(o.outputFormat()));
    Options mp3 = Options.parse(new String[] {"song.mp3"});
    assertEquals(Path.of("song-0.75x.mp3"), mp3.defaultOutput(mp3.outputFormat()));
    Options other = Options.parse(new String[] {"film.mkv", "--format", "flac"});
    assertEquals(Path.of("film-0.75x.flac"), other.defaultOutput(other.outputFormat()));
    assertEquals(OutputFormat.WAV, Options.parse(new String[] {"film.mkv"}).outputFormat());
    assertEquals("0.75", Options.formatSpeed(0.75));
    assertEquals("1", Options.formatSpeed(1.0));
  }
}
