// The windows' wording of a port that could not be opened: the same facts
// `qmt` prints in English (LinkProblem::Text), in Japanese.
#pragma once

#include <QString>

#include "link/link_problem.h"

namespace qmt {

// "ポート ppdev:/dev/parport0 を使えません（…）。装置なしで動きます" and the
// like; empty for no problem.
QString LinkProblemMessage(const LinkProblem& problem);

}  // namespace qmt
