// Page setup and printing from the viewer.
#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "viewer/ViewerPrint.h"

namespace lumora
{

std::shared_ptr<ViewerPrint> makeViewerPrint()
{
    return std::make_shared<ViewerPrint>();
}

void frmViwer::PageSetup()
{
    if (m_ctx.prompter)
        m_print->PageSetup(this, *m_ctx.prompter);
}

void frmViwer::Print(short placement)
{
    if (m_ctx.prompter)
        m_print->Print(this, *ImgX->document(), *m_ctx.prompter, placement);
}

} // namespace lumora
