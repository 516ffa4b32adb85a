#pragma once
// The metrics page in the Prometheus text format (version 0.0.4), written straight into one
// string: numbers by std::to_chars, label values escaped as the format asks (backslash, double
// quote and line feed), help texts likewise (backslash and line feed).
//
// prometheus-cpp's own text serializer writes the same page through an ostream, one formatted
// value at a time: about 1 microsecond a line, 6 ms for the 5,600 lines of 255 hosts. This one
// takes a fraction of that, so a scrape stays cheap. The tests hold the two pages side by side.

#include <prometheus/metric_family.h>

#include <string>
#include <vector>

std::string renderMetricsPage(const std::vector<prometheus::MetricFamily>& families);
