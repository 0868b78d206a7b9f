#ifndef KELVANED_PROCESS_VALUES_H
#define KELVANED_PROCESS_VALUES_H

// Values the analysis publishes to the whole process and the elements read.

// Time step of the running incremental analysis, read by the thermal elements.
// Published by the incremental control at the start of every run call; 0 until then.
extern double current_time_step;

// Which element result the result writer is averaging onto the nodes: 1 the stress
// vector, 2 the equivalent plastic strain. 1 until the first result block.
extern int result_mode;

// Numbers the integration points of one result-file block: reset by an element's
// result header, advanced by its value rows.
extern int gauss_point_counter;

// Puts every value above back to its default, as at program start.
void reset_process_values();

#endif
