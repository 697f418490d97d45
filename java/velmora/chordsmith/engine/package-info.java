/**
 * Driving the native engine from Java: {@link velmora.chordsmith.engine.Engine}, one call per
 * setting, and {@link velmora.chordsmith.engine.NativeEngine} behind it;
 * {@link velmora.chordsmith.engine.Mix}, the mixer settings in a listener's units;
 * {@link velmora.chordsmith.engine.StretchPlan}, how a stretch is cut into blocks that every
 * read fresh output; {@link velmora.chordsmith.engine.Stretcher}, which steps the engine block
 * by block from a stream, as an audio thread does (the speed may change between blocks);
 * {@link velmora.chordsmith.engine.StretchJob}, which runs a whole recording through it with the
 * output trimmed to line up with the input. Plain values in, IllegalArgumentException for
 * impossible ones: no command line.
 */
package velmora.chordsmith.engine;
