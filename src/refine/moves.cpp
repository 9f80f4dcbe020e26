#include "refine/moves.hpp"

#include <stdexcept>

namespace vorb {

void relax_lmprot(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }
void cacarot(ModelState& s) { (void)s; throw std::logic_error("not built yet"); }
void glo_move(ModelState& s, int flag) { (void)s; (void)flag; throw std::logic_error("not built yet"); }
void move_clash(ModelState& s, float& step, int& nviol) { (void)s; (void)step; (void)nviol; throw std::logic_error("not built yet"); }

}  // namespace vorb
