// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FileNode.h"

CFileNode::~CFileNode() { FreeChildren(); }

void CFileNode::FreeChildren() {
  for (std::unique_ptr<CFileNode>& child : m_children) child->FreeChildren();
  m_children.clear();
  m_children.shrink_to_fit();
}
