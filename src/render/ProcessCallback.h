// The effect's native processing callback.
#pragma once

// [audio] Runs one buffer for every instance in the batch [instancesBegin, instancesEnd): each
// element is an AlgorithmContext* (null entries are skipped). For each loaded instance it copies
// the host transport into the instance's VstCallBack snapshot, sends each incoming MIDI packet to
// the effect as one VST MIDI event and runs the effect's audio call on the host's buffers, in
// sub-blocks of at most VstInterface::kMaxBlockFrames frames (each packet in its sub-block, the
// snapshot moved on for each). Every host output is written: frames and channels the effect does
// not produce (an instance not loaded, an effect that failed or whose channel arrays wait to be
// made again, outputs it does not declare) are silence, or the dry input for frames it does not
// process while the master bypass is on.
// Keeps no state of its own; allocates nothing, locks nothing, formats nothing; reports nothing;
// lets nothing thrown escape.
void AAXWrapper_AlgorithmProcessFunction(void* const instancesBegin[], const void* instancesEnd) noexcept;
