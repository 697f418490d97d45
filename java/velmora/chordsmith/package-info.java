/**
 * The library's Java face: {@link velmora.chordsmith.NativeInterface}, the door to the native
 * engine (its name and package are fixed by the JNI symbols), and what an application needs
 * beside it: {@link velmora.chordsmith.EngineFacts}, the engine's numbers (bands and notes,
 * gains, latency, the exact output hop); {@link velmora.chordsmith.VoiceFilter}, coefficients
 * for voice removal; {@link velmora.chordsmith.EqCurve}, per-bin equaliser gains from a few
 * points. Nothing here depends on the packages below it.
 *
 * <p>Around it: {@code audio} reads and writes recordings, {@code engine} drives the engine
 * through a whole recording, {@code tool} is the command-line front end; a live player sits
 * beside the tool, sharing everything but the command line.
 */
package velmora.chordsmith;
