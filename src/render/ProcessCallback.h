// The effect's native processing callback.
#pragma once

// [audio] Runs one buffer for every instance in the batch [instancesBegin, instancesEnd): each
// element is an AlgorithmContext* (null entries are skipped). For each loaded instance it copies
// the host transport into the instance's VstCallBack snapshot, sends each incoming MIDI packet to
// the effect as one VST MIDI event and runs the effect's processReplacing on the host's buffers.
// Keeps no state of its own; allocates nothing, locks nothing, formats nothing; reports nothing;
// lets nothing thrown escape.
void AAXWrapper_AlgorithmProcessFunction(void* const instancesBegin[], const void* instancesEnd) noexcept;
